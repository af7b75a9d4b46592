#pragma once

#include <QTest>

// A data table of one column, "row": each string is "tag fields", its first word naming the row and the rest,
// its fields separated by spaces, being the row. A test reads field n as row.section(u' ', n, n).
inline void rowTable(std::initializer_list<const char *> rows)
{
    QTest::addColumn<QString>("row");
    for (const char *row : rows)
        QTest::newRow(qPrintable(QString::fromUtf8(row).section(u' ', 0, 0))) << QString::fromUtf8(row).section(u' ', 1);
}
