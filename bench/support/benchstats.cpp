#include "benchstats.h"

#include <algorithm>
#include <cmath>

double BenchStats::median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

double BenchStats::percentile(QVector<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int rank = int(std::ceil(p / 100.0 * values.size()));
    return values.at(qBound(0, rank - 1, values.size() - 1));
}

double BenchStats::minimum(const QVector<double> &values)
{
    return values.isEmpty() ? 0 : *std::min_element(values.begin(), values.end());
}

double BenchStats::maximum(const QVector<double> &values)
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}
