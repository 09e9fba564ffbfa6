#pragma once
// Texts of numbered words, for tests that look for hits at known places.

#include <QString>
#include <QStringList>

#include <initializer_list>
#include <utility>

namespace cvtest {

// "w1 w2 ... wn" with the given words at their places (1-based).
inline QString Words(int n, std::initializer_list<std::pair<int, const char*>> put)
{
    QStringList w;
    for (int i = 1; i <= n; ++i)
        w << QStringLiteral("w%1").arg(i);
    for (const auto& [at, word] : put)
        w[at - 1] = QString::fromLatin1(word);
    return w.join(u' ');
}

} // namespace cvtest
