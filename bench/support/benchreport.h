#pragma once

#include <QString>

// Prints a benchmark's figures: free text for people, and one tab-separated
// "RESULT" line per figure that bench/run collects into its summary.
class BenchReport
{
public:
    enum class Verdict { None, Met, NotMet };

    explicit BenchReport(const QString &bench);

    void line(const QString &text) const;
    // A figure; target is free text ("≥ 200000"), empty when none applies.
    void result(const QString &figure, double value, const QString &unit,
                const QString &target = QString(), Verdict verdict = Verdict::None) const;
    static Verdict verdict(bool met) { return met ? Verdict::Met : Verdict::NotMet; }
    // Load of the machine, printed once: the figures depend on it.
    void machine() const;

private:
    QString m_bench;
};
