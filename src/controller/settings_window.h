#pragma once
// The controller's settings windows: one form of the settings a command of
// the tools' Settings menu names (colours, font, language, folders, tags,
// lists, the tool's own, index), each setting with the editor its kind
// asks for. "OK" puts the values into the settings buffer; a value that is
// not valid is named and nothing of the form is stored, so the user can
// put it right. What happens after (the ini file written, the tools told)
// is the controller's.

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QWidget;

namespace cv {

struct TSettingKey;

class TControllerSettingsWindow final : public QDialog {
    Q_OBJECT
public:
    // keys: the names of the settings shown, in order (unknown names are left out).
    TControllerSettingsWindow(const QString& title, const QStringList& keys, QWidget* parent = nullptr);

    // Called after the values went into the settings buffer (by OK).
    std::function<void()> OnStored;

    // The editor's text of a key as it would be stored; empty for a key not shown.
    QString Value(const QString& key) const;
    // Sets an editor as the user would (a number, "true", a language's name, "#RRGGBB", a choice's number).
    bool SetValue(const QString& key, const QString& value);
    QStringList Keys() const;
    // Every editor's value into the settings buffer; the problems (nothing
    // stored then). Empty when stored.
    QStringList Store();
    // The editors take the settings buffer's values again.
    void Reload();
    // OK: Store, then OnStored and close; with problems the window stays and says which.
    void OkClick();

    QLabel* ProblemLabel = nullptr;
    QDialogButtonBox* Buttons = nullptr;

private:
    struct TEditor {
        const TSettingKey* key;
        QWidget* widget;
        std::function<QString()> read;
        std::function<void(const QString&)> write;
    };
    TEditor MakeEditor(const TSettingKey& key);
    std::vector<TEditor> m_editors;
};

} // namespace cv
