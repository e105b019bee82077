// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file "radiosim.ini" and the profile reader/writer under it, on real files.
#include "station/FileIni.h"
#include "station/profile.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>

namespace {

class SettingsFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = settings_path(dir.path());

    void write(const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray contents() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    StationSettings loadWith(const QByteArray& bytes)
    {
        write(bytes);
        return load_settings(path);
    }
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndIsNotCreated)
{
    const StationSettings s = load_settings(path);
    EXPECT_EQ(s.mmsi, "274111001");
    EXPECT_EQ(s.group, "027411101");
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.base_port, 17000);
    EXPECT_EQ(s.gps_lat, "43");
    EXPECT_EQ(s.gps_lon, "009");
    EXPECT_EQ(s.gps_ns, "N");
    EXPECT_EQ(s.gps_EW, "E");
    EXPECT_EQ(load_window_position(path), QPoint(1, 1));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(SettingsFile, FullFileIsReadAsWritten)
{
    const StationSettings s = loadWith("[kelvo]\r\nmmsi=247000123\r\ngroup=024700001\r\n"
                                       "[radio]\r\nmode=1\r\nbase_port=20000\r\n"
                                       "[gps]\r\ngps_lat=45\r\ngps_lon=123\r\ngps_ns=S\r\ngps_EW=W\r\n");
    EXPECT_EQ(s.mmsi, "247000123");
    EXPECT_EQ(s.group, "024700001");
    EXPECT_EQ(s.mode, 1);
    EXPECT_EQ(s.base_port, 20000);
    EXPECT_EQ(s.gps_lat, "45");
    EXPECT_EQ(s.gps_lon, "123");
    EXPECT_EQ(s.gps_ns, "S");
    EXPECT_EQ(s.gps_EW, "W");
}

TEST_F(SettingsFile, LatitudeRangeAndFilling)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"5", "05"}, {"0", "00"}, {"89", "89"}, {"90", "43"}, {"-1", "43"}, {"north", "43"}, {"", "43"},
        {"4 5", "43"}, {"12abc", "43"}, {"0x10", "16"}, {"$1F", "31"}, {"  7  ", "07"},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(loadWith("[gps]\ngps_lat=" + value + "\n").gps_lat, expected) << value.constData();
}

TEST_F(SettingsFile, LongitudeRangeAndFilling)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"7", "007"}, {"45", "045"}, {"179", "179"}, {"180", "009"}, {"-5", "009"}, {"x", "009"},
        {"0xB3", "179"}, {"0xB4", "009"},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(loadWith("[gps]\ngps_lon=" + value + "\n").gps_lon, expected) << value.constData();
}

TEST_F(SettingsFile, TextsAreCutAndUpperCasedButNotOtherwiseChecked)
{
    const StationSettings s = loadWith("[kelvo]\nmmsi=1234567890\ngroup=ABCDEFGHIJKL\n"
                                       "[gps]\ngps_ns=s\ngps_EW=west\n[radio]\nmode=7\nbase_port=99999\n");
    EXPECT_EQ(s.mmsi, "123456789");
    EXPECT_EQ(s.group, "ABCDEFGHI");
    EXPECT_EQ(s.gps_ns, "S");
    EXPECT_EQ(s.gps_EW, "WEST");
    EXPECT_EQ(s.mode, 7);
    EXPECT_EQ(s.base_port, 99999);
    // Present but empty is an empty text, as the platform returns it.
    EXPECT_EQ(loadWith("[kelvo]\nmmsi=\n").mmsi, "");
}

TEST_F(SettingsFile, NamesIgnoreCaseAndTheFirstOccurrenceWins)
{
    const StationSettings s = loadWith("[KELVO]\nMMSI=111111111\nmmsi=222222222\n"
                                       "[Radio]\nMode=1\n[radio]\nmode=0\nBASE_PORT=18000\n");
    EXPECT_EQ(s.mmsi, "111111111");
    EXPECT_EQ(s.mode, 1);
    EXPECT_EQ(s.base_port, 17000);   // only in a second section of the same name: not read
}

TEST_F(SettingsFile, OddHeadersAndByteOrderMark)
{
    // A header without its ']' still names a section; the name ends at the first ']' and what
    // follows it on the line is ignored.
    StationSettings s = loadWith("[kelvo  \nmmsi=111111111\n[radio] mode=1\nbase_port=18000\n"
                                 "[gps]x]\ngps_ns=S\n");
    EXPECT_EQ(s.mmsi, "111111111");
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.base_port, 18000);
    EXPECT_EQ(s.gps_ns, "S");

    // A byte-order mark before the first header, which it keeps when the file is written.
    s = loadWith("\xEF\xBB\xBF[kelvo]\r\nmmsi=222222222\r\n");
    EXPECT_EQ(s.mmsi, "222222222");
    ASSERT_TRUE(save_window_position(path, QPoint(1, 2)));
    EXPECT_EQ(contents(), "\xEF\xBB\xBF[kelvo]\r\nmmsi=222222222\r\nposX=2\r\nposY=1\r\n");
    // Anywhere else it is part of the line.
    EXPECT_EQ(loadWith("[kelvo]\n\xEF\xBB\xBFmmsi=333333333\n").mmsi, "274111001");
}

// A file an editor saved as UTF-16 is read as text and written back as UTF-16 of the same byte
// order, every other line as it was; one without a byte-order mark is known by its zero bytes, and
// gets its mark when written, so that it reads as UTF-16 whatever is written into it next.
TEST_F(SettingsFile, Utf16FileIsReadAndWrittenInItsOwnEncoding)
{
    const QString text = QStringLiteral("[kelvo]\r\nmmsi=247000123\r\n; bench 4 \u2013 \u00e9t\u00e9\r\n[radio]\r\n"
                                        "base_port=32000\r\n[gps]\r\ngps_ns=s\r\n");
    struct Kind {
        const char* name;
        QByteArray mark;
        QStringConverter::Encoding encoding;
        QByteArray writtenMark;
    };
    for (const Kind& k : {Kind{"UTF-16LE with its mark", "\xFF\xFE", QStringConverter::Utf16LE, "\xFF\xFE"},
                          Kind{"UTF-16BE with its mark", "\xFE\xFF", QStringConverter::Utf16BE, "\xFE\xFF"},
                          Kind{"UTF-16LE without a mark", "", QStringConverter::Utf16LE, "\xFF\xFE"}}) {
        SCOPED_TRACE(k.name);
        auto encoded = [&k](const QString& t) { return k.writtenMark + QStringEncoder(k.encoding)(t); };
        const StationSettings s = loadWith(k.mark + QStringEncoder(k.encoding)(text));
        EXPECT_EQ(s.mmsi, "247000123");
        EXPECT_EQ(s.base_port, 32000);
        EXPECT_EQ(s.gps_ns, "S");
        ASSERT_TRUE(save_window_position(path, QPoint(300, 200)));
        EXPECT_EQ(contents(), encoded(text.left(text.indexOf("; bench")) + "posX=200\r\nposY=300\r\n"
                                      + text.mid(text.indexOf("; bench"))));
        EXPECT_EQ(load_window_position(path), QPoint(300, 200));
        ASSERT_TRUE(save_window_position(path, QPoint(-5, 7)));
        EXPECT_EQ(load_window_position(path), QPoint(-5, 7));
        EXPECT_EQ(load_settings(path).mmsi, "247000123");
    }
    // A value beyond one byte per character reads as Latin-1, '?' where there is none.
    EXPECT_EQ(loadWith(QByteArray("\xFF\xFE") + QStringEncoder(QStringConverter::Utf16LE)(QStringLiteral("[kelvo]\nmmsi=\u00e91\u20132"))).mmsi,
              "\xE9" "1?2");
}

TEST_F(SettingsFile, WhitespaceQuotesCommentsAndOddLines)
{
    const StationSettings s = loadWith("mmsi=000000000\n"            // before any section: not read
                                       "  [ kelvo ]  \n"
                                       ";mmsi=333333333\n"
                                       "junk line without equals\n"
                                       "  mmsi  =   \"444444444\"   \n"
                                       "group='012345678'\n"
                                       "[gps]\rgps_ns=\"s\rgps_EW=\"\"\r");   // lone CR endings
    EXPECT_EQ(s.mmsi, "444444444");
    EXPECT_EQ(s.group, "012345678");
    EXPECT_EQ(s.gps_ns, "\"S");   // an unmatched quote stays
    EXPECT_EQ(s.gps_EW, "");
}

TEST_F(SettingsFile, IntegersDecimalAndHexadecimal)
{
    using profile::parse_int;
    EXPECT_EQ(parse_int("17000"), 17000);
    EXPECT_EQ(parse_int("+12"), 12);
    EXPECT_EQ(parse_int("-12"), -12);
    EXPECT_EQ(parse_int("0x4268"), 0x4268);
    EXPECT_EQ(parse_int("0XfF"), 255);
    EXPECT_EQ(parse_int("$ff"), 255);
    EXPECT_EQ(parse_int("-$10"), -16);
    EXPECT_EQ(parse_int("$FFFFFFFF"), -1);
    EXPECT_EQ(parse_int("2147483647"), 2147483647);
    EXPECT_EQ(parse_int("-2147483648"), std::numeric_limits<int>::min());
    for (const char* bad : {"", "-", "+", "$", "0x", "2147483648", "-2147483649", "$100000000", "12 ", "1e3",
                            "0x1g", "$-1", "--1", "٣"})
        EXPECT_EQ(parse_int(bad), std::nullopt) << bad;
}

TEST_F(SettingsFile, HugeLineAndBinaryBytes)
{
    QByteArray big(100000, 'A');
    const QByteArray odd("12\0003\xff", 5);
    const StationSettings s = loadWith("[gps]\ngps_ns=" + big + "\n[kelvo]\nmmsi=" + odd + "\n" + big + "\n");
    EXPECT_EQ(s.gps_ns.size(), profile::max_text);
    EXPECT_EQ(s.mmsi, odd);

    const profile::Profile p(QByteArray("[a]\nk=") + big);
    EXPECT_EQ(p.value("a", "k")->size(), profile::max_text);
}

TEST_F(SettingsFile, WindowPositionRoundTripSwapsTheKeys)
{
    ASSERT_TRUE(save_window_position(path, QPoint(300, 200)));   // left 300, top 200
    EXPECT_EQ(load_window_position(path), QPoint(300, 200));
    const profile::Profile p = profile::read_file(path);
    EXPECT_EQ(p.value("kelvo", "posX"), "200");
    EXPECT_EQ(p.value("kelvo", "posY"), "300");
    // Created when missing, with nothing else in it; settings still take their defaults.
    EXPECT_EQ(contents(), "[kelvo]\r\nposX=200\r\nposY=300\r\n");
    EXPECT_EQ(load_settings(path).mmsi, "274111001");
}

TEST_F(SettingsFile, WritingKeepsEveryOtherLine)
{
    const QByteArray before = "; station 3\n[kelvo]\nmmsi=247000123\n  PosX = 7 ; old\n\n"
                              "[radio]\nmode=1\n[kelvo]\nposY=9\n";
    write(before);
    ASSERT_TRUE(save_window_position(path, QPoint(-40, 55)));
    // posY is only in a second "kelvo" section, which is not searched: it is added to the first.
    EXPECT_EQ(contents(), "; station 3\n[kelvo]\nmmsi=247000123\n  PosX =55\nposY=-40\n\n"
                          "[radio]\nmode=1\n[kelvo]\nposY=9\n");
    EXPECT_EQ(load_window_position(path), QPoint(-40, 55));
}

TEST_F(SettingsFile, WritingAppendsSectionsAndKeepsLineEndings)
{
    write("[radio]\r\nmode=1");   // no ending on the last line
    ASSERT_TRUE(save_window_position(path, QPoint(3, 4)));
    EXPECT_EQ(contents(), "[radio]\r\nmode=1\r\n[kelvo]\r\nposX=4\r\nposY=3\r\n");

    write("[kelvo]");
    ASSERT_TRUE(save_window_position(path, QPoint(5, 6)));
    EXPECT_EQ(contents(), "[kelvo]\r\nposX=6\r\nposY=5\r\n");

    write("[kelvo]\nmmsi=1\n[gps]\n");
    ASSERT_TRUE(save_window_position(path, QPoint(5, 6)));
    EXPECT_EQ(contents(), "[kelvo]\nmmsi=1\nposX=6\nposY=5\n[gps]\n");
}

TEST_F(SettingsFile, UnwritableFileIsReported)
{
    // A directory where the file should be.
    ASSERT_TRUE(QDir(dir.path()).mkdir("radiosim.ini"));
    EXPECT_FALSE(save_window_position(path, QPoint(1, 2)));
    EXPECT_EQ(load_window_position(path), QPoint(1, 1));
    EXPECT_EQ(load_settings(path).mmsi, "274111001");

    // A folder that is a regular file (root ignores permissions, not this).
    const QString notAFolder = dir.filePath("plain");
    QFile f(notAFolder);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_FALSE(save_window_position(settings_path(notAFolder), QPoint(1, 2)));
}

TEST_F(SettingsFile, WriterRefusesTextsThatWouldBreakTheFormat)
{
    EXPECT_FALSE(profile::write_text(path, "kelvo", "posX", "1\r\n[radio]"));
    EXPECT_FALSE(profile::write_text(path, "kel]vo", "posX", "1"));
    EXPECT_FALSE(profile::write_text(path, "kelvo", "a=b", "1"));
    EXPECT_FALSE(profile::write_text(path, "kelvo", " ", "1"));
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
