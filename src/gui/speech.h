#pragma once
// Reading a line aloud through the desktop's speech (Qt's text-to-speech,
// which on Linux speaks through speech-dispatcher and its voices, espeak-ng
// among them). The grids' "Play" command and "speak row" hand the row's
// text to the speaker the program installs.

#include <QLocale>
#include <QObject>
#include <QString>

#include <memory>

class QTextToSpeech;

namespace cv {

class TSpeaker {
public:
    virtual ~TSpeaker() = default;
    // Starts reading the text (an earlier one still being read is cut
    // short). False when there is no voice to read it; the reason is in LastError.
    virtual bool Say(const QString& text) = 0;
    virtual void Stop() = 0;
    virtual QString LastError() const = 0;
};

class TQtSpeaker final : public QObject, public TSpeaker {
    Q_OBJECT
public:
    // engine: a text-to-speech engine by name; empty: the desktop's default.
    explicit TQtSpeaker(const QString& engine = {}, QObject* parent = nullptr);
    ~TQtSpeaker() override;

    bool Say(const QString& text) override;
    void Stop() override;
    QString LastError() const override { return m_error; }
    // The language the next lines are read in (the list's), when a voice has it.
    void SetLocale(const QLocale& locale);
    // Whether an engine was found that can speak.
    bool Available() const;
    // The lines said (for the status bar and the log).
    int LinesSaid() const { return m_said; }

private:
    std::unique_ptr<QTextToSpeech> m_speech;
    QString m_error;
    int m_said = 0;
};

} // namespace cv
