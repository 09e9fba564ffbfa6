#pragma once
// Errors of the vector and matrix library. Shape mismatches of arithmetic are
// answered with false; these exceptions abort an operation (bad arguments,
// memory, damaged files).

#include <QString>

#include <stdexcept>

namespace cv {

class ESDLError : public std::runtime_error {
public:
    explicit ESDLError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& Message() const { return m_message; }

private:
    QString m_message;
};

class ESDLVectorError : public ESDLError {
public:
    using ESDLError::ESDLError;
};

class ESDLMatrixError : public ESDLError {
public:
    using ESDLError::ESDLError;
};

// A file could not be opened, read or written; the message names the file
// and the reason.
class ESDLFileError : public ESDLError {
public:
    using ESDLError::ESDLError;
};

} // namespace cv
