#pragma once

// Damage done to an SQLite file as a failing disk does it.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>
#include <string>

namespace testenv {

// Overwrites, in place, every page of the SQLite file at `path` from page 2
// on; the first page, with the header and the schema, stays sound.
inline void DamageSqlitePages(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray header = file.read(100);
    ASSERT_EQ(header.left(15), "SQLite format 3");
    const int field = uchar(header[16]) << 8 | uchar(header[17]);
    const int pageSize = field == 1 ? 65536 : field;
    ASSERT_GT(file.size(), 2 * pageSize);
    QByteArray junk(int(file.size()) - pageSize, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char(0xA5 ^ (i * 31));
    ASSERT_TRUE(file.seek(pageSize));
    ASSERT_EQ(file.write(junk), junk.size());
}

} // namespace testenv
