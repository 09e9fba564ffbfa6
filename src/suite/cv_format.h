#pragma once
// Format: the suite's way of filling message texts, "%s", "%d" and friends.
//
// The resource strings and message texts of the suite are written with
// these specifiers, so a text can say where each value goes and how:
//
//   %s  text            %d  whole number      %u  whole number (unsigned)
//   %x  hexadecimal     %f  fixed decimals    %e  scientific
//   %g  shortest form   %n  number with thousands separators
//   %m  number with two decimals              %%  a percent sign
//
// Between "%" and the letter may stand an argument index and a colon
// ("%1:d" takes the second argument; later specifiers go on from there),
// "-" (align left), a width, and "." with a precision (decimals for f, e, n,
// m; least digits for d, u, x; most characters for s). f and n default to
// two decimals. Numbers use the default locale's decimal and group marks.
//
// Unlike the routine it stands in for, Format never fails: a missing
// argument gives an empty text, a number where a text is wanted is written
// as a number, a text where a number is wanted is written as it is, and an
// unknown specifier is copied unchanged.

#include <QString>
#include <QStringView>

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <variant>

namespace cv {

class TFormatArg {
public:
    template <std::integral T>
    TFormatArg(T v) // NOLINT: implicit on purpose, arguments are written inline
    {
        if constexpr (std::is_same_v<T, bool>)
            m_value = QString::fromLatin1(v ? "True" : "False");
        else if constexpr (std::is_unsigned_v<T>)
            m_value = uint64_t(v);
        else
            m_value = int64_t(v);
    }
    template <std::floating_point T>
    TFormatArg(T v) : m_value(double(v)) {}
    template <typename T>
        requires(!std::is_arithmetic_v<T> && std::is_convertible_v<const T&, QString>)
    TFormatArg(const T& s) : m_value(QString(s)) {}
    TFormatArg(QStringView s) : m_value(s.toString()) {}

    const std::variant<int64_t, uint64_t, double, QString>& value() const { return m_value; }

private:
    std::variant<int64_t, uint64_t, double, QString> m_value;
};

QString Format(QStringView format, std::initializer_list<TFormatArg> args);
inline QString Format(const char* utf8Format, std::initializer_list<TFormatArg> args)
{
    return Format(QString::fromUtf8(utf8Format), args);
}

// Access keys of menu and control captions: "&" marks the next letter, and
// a doubled "&" stands for one "&".
// The caption as it reads without its access-key marks ("Stop-, Lemma- &&
// Matchlists" reads "Stop-, Lemma- & Matchlists").
QString StripHotkey(const QString& caption);
// A text shown as a caption as it is: every "&" doubled, none an access key.
QString WithoutAccessKeys(const QString& text);

} // namespace cv
