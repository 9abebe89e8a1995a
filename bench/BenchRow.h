#pragma once

#include <QString>

#include <cstdio>

// One row of the table that scripts/run-benchmarks prints at the end:
// figure, target, measured value, "met" / "missed" ("" without a target),
// and the conditions it was measured under.
inline void printRow(const QString& figure, const QString& target, const QString& measured,
                     const QString& verdict, const QString& conditions)
{
    std::printf("@row\t%s\t%s\t%s\t%s\t%s\n", qPrintable(figure), qPrintable(target),
                qPrintable(measured), qPrintable(verdict), qPrintable(conditions));
    std::fflush(stdout);
}

inline QString rowVerdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("missed");
}

// "123 ms", or "1.2 s" from a second on.
inline QString duration(double ms, int decimals = 0)
{
    if (ms >= 1000)
        return QString("%1 s").arg(ms / 1000, 0, 'f', 1);
    return QString("%1 ms").arg(ms, 0, 'f', decimals);
}
