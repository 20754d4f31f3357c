#pragma once

#include <QVector>

// Order statistics of repeated measurements.
class BenchStats
{
public:
    static double median(QVector<double> values);
    // p in [0, 100], nearest rank; 0 for no values.
    static double percentile(QVector<double> values, double p);
    static double minimum(const QVector<double> &values);
    static double maximum(const QVector<double> &values);
};
