#pragma once
// The controller's ini file: settings the user can edit that override the
// defaults of the settings buffer when the controller starts.

#include <QString>
#include <QStringList>

namespace cv {

// The ini file used when none is named: $CV_CONTROLLER_INI, else
// "corvantis/controller.ini" in the user's configuration folder.
QString DefaultControllerIniFile();

// Applies the file's values to the settings buffer. Returns one line per
// problem (unknown key, bad value); a missing file is no problem.
QStringList ApplyControllerIni(const QString& fileName);

// Writes a commented ini file with every key and its current value.
bool WriteControllerIni(const QString& fileName, QString* error);

} // namespace cv
