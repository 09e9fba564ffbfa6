#include "suite/cv_format.h"

#include <QLocale>

#include <cmath>
#include <vector>

namespace cv {

namespace {

struct TFormatField {
    bool left = false;
    int width = -1;
    int precision = -1;
    QChar type;
};

QString numberText(const TFormatArg& a)
{
    return std::visit(
        [](const auto& v) -> QString {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, QString>)
                return v;
            else if constexpr (std::is_same_v<T, double>)
                return QLocale().toString(v, 'g', 15);
            else
                return QString::number(v);
        },
        a.value());
}

double asDouble(const TFormatArg& a, bool& ok)
{
    ok = true;
    if (const auto* d = std::get_if<double>(&a.value()))
        return *d;
    if (const auto* i = std::get_if<int64_t>(&a.value()))
        return double(*i);
    if (const auto* u = std::get_if<uint64_t>(&a.value()))
        return double(*u);
    ok = false;
    return 0;
}

QString render(const TFormatField& field, const TFormatArg* arg)
{
    if (!arg)
        return QString();
    const QChar t = field.type.toLower();
    const auto& v = arg->value();
    if (const auto* s = std::get_if<QString>(&v))
        return t == u's' && field.precision >= 0 ? s->left(field.precision) : *s;
    bool ok = false;
    const QLocale locale;
    if (t == u'd' || t == u'u' || t == u'x') {
        QString digits;
        if (const auto* d = std::get_if<double>(&v)) {
            if (!std::isfinite(*d))
                return numberText(*arg);
            digits = t == u'x' ? QString::number(uint64_t(int64_t(*d)), 16) : QString::number(int64_t(*d));
        } else if (const auto* i = std::get_if<int64_t>(&v)) {
            digits = t == u'x' ? QString::number(uint64_t(*i), 16) : t == u'u' ? QString::number(uint64_t(*i)) : QString::number(*i);
        } else {
            digits = QString::number(std::get<uint64_t>(v), t == u'x' ? 16 : 10);
        }
        if (t == u'x')
            digits = digits.toUpper(); // hexadecimal digits are written in capitals, whatever the letter's case
        if (field.precision > 0) {
            const bool negative = digits.startsWith(u'-');
            QString body = negative ? digits.mid(1) : digits;
            if (body.size() < field.precision)
                body = QString(field.precision - body.size(), u'0') + body;
            digits = negative ? QStringLiteral("-") + body : body;
        }
        return digits;
    }
    const double d = asDouble(*arg, ok);
    if (t == u's')
        return numberText(*arg);
    if (!std::isfinite(d))
        return std::isnan(d) ? QStringLiteral("NAN") : d > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (t == u'f')
        return locale.toString(d, 'f', field.precision >= 0 ? field.precision : 2).remove(locale.groupSeparator());
    if (t == u'm')
        return locale.toString(d, 'f', field.precision >= 0 ? field.precision : 2);
    if (t == u'n')
        return locale.toString(d, 'f', field.precision >= 0 ? field.precision : 2);
    if (t == u'e')
        return locale.toString(d, 'e', field.precision >= 0 ? field.precision : 15).remove(locale.groupSeparator());
    if (t == u'g')
        return locale.toString(d, 'g', field.precision >= 0 ? field.precision : 15).remove(locale.groupSeparator());
    return numberText(*arg);
}

} // namespace

QString Format(QStringView format, std::initializer_list<TFormatArg> args)
{
    const std::vector<const TFormatArg*> list = [&] {
        std::vector<const TFormatArg*> v;
        for (const auto& a : args)
            v.push_back(&a);
        return v;
    }();
    QString out;
    out.reserve(format.size() + 16 * qsizetype(list.size()));
    std::size_t next = 0;
    const qsizetype n = format.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = format[i];
        if (c != u'%') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < n && format[i + 1] == u'%') {
            out += u'%';
            i += 2;
            continue;
        }
        // Parse "%[index:][-][width][.precision]type".
        qsizetype j = i + 1;
        TFormatField field;
        const auto readNumber = [&](int& into) {
            const qsizetype start = j;
            int value = 0;
            while (j < n && format[j].isDigit() && j - start < 6)
                value = value * 10 + format[j++].digitValue();
            if (j > start)
                into = value;
            return j > start;
        };
        int number = -1;
        const qsizetype numberStart = j;
        if (readNumber(number) && j < n && format[j] == u':') {
            next = std::size_t(number);
            ++j;
        } else {
            j = numberStart;
        }
        if (j < n && format[j] == u'-') {
            field.left = true;
            ++j;
        }
        readNumber(field.width);
        if (j < n && format[j] == u'.') {
            ++j;
            field.precision = 0;
            readNumber(field.precision);
        }
        if (j >= n || !QStringView(u"dDuUxXeEfFgGnNmMsS").contains(format[j])) {
            // Not a specifier: copy the text as it stands.
            out += format.mid(i, std::min(j + 1, n) - i);
            i = std::min(j + 1, n);
            continue;
        }
        field.type = format[j];
        const TFormatArg* arg = next < list.size() ? list[next] : nullptr;
        ++next;
        QString text = render(field, arg);
        if (field.width > text.size())
            text = field.left ? text.leftJustified(field.width) : text.rightJustified(field.width);
        out += text;
        i = j + 1;
    }
    return out;
}

QString StripHotkey(const QString& caption)
{
    QString out;
    out.reserve(caption.size());
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (i + 1 < caption.size() && caption[i + 1] == u'&') {
                out += u'&';
                ++i;
            }
            continue;
        }
        out += caption[i];
    }
    return out;
}

QString WithoutAccessKeys(const QString& text) { return QString(text).replace(u'&', QStringLiteral("&&")); }

} // namespace cv
