#include "gui/speech.h"

#include <QTextToSpeech>
#include <QVoice>

namespace cv {

TQtSpeaker::TQtSpeaker(const QString& engine, QObject* parent) : QObject(parent)
{
    if (QTextToSpeech::availableEngines().isEmpty()) {
        m_error = QStringLiteral("No speech engine is installed (on Debian: qt6-speech-speechd-plugin with "
                                 "speech-dispatcher and espeak-ng).");
        return;
    }
    m_speech = engine.isEmpty() ? std::make_unique<QTextToSpeech>() : std::make_unique<QTextToSpeech>(engine);
    if (m_speech->state() == QTextToSpeech::Error)
        m_error = QStringLiteral("The speech engine \"%1\" cannot speak here: %2")
                      .arg(engine.isEmpty() ? QStringLiteral("default") : engine, m_speech->errorString());
    // An engine that fails later (the speech service went away) says why.
    connect(m_speech.get(), &QTextToSpeech::stateChanged, this, [this](QTextToSpeech::State state) {
        if (state == QTextToSpeech::Error)
            m_error = m_speech->errorString();
    });
}

TQtSpeaker::~TQtSpeaker() = default;

bool TQtSpeaker::Available() const { return m_speech && m_speech->state() != QTextToSpeech::Error; }

void TQtSpeaker::SetLocale(const QLocale& locale)
{
    if (Available() && m_speech->availableLocales().contains(locale))
        m_speech->setLocale(locale);
}

bool TQtSpeaker::Say(const QString& text)
{
    if (!Available() || text.trimmed().isEmpty())
        return false;
    if (m_speech->state() == QTextToSpeech::Speaking)
        m_speech->stop();
    m_speech->say(text);
    ++m_said;
    return true;
}

void TQtSpeaker::Stop()
{
    if (Available())
        m_speech->stop();
}

} // namespace cv
