// quillory-cli end to end on a folder of today's media, with the preferences of a first run: the
// library readers' filters are ticked, the records carry their lines, and the search's video
// category finds the video.
#include "RunProgram.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestCliMedia : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;

    ProgramRun cli(const QStringList &args)
    {
        return runProgram(qEnvironmentVariable("QUILLORY_CLI"), QStringList{u"--data"_s, m_root.filePath(u"cat"_s)} + args,
                          {}, {},
                          {u"XDG_CONFIG_HOME="_s + m_root.filePath(u"config"_s),
                           u"XDG_DATA_HOME="_s + m_root.filePath(u"share"_s),
                           u"XDG_CACHE_HOME="_s + m_root.filePath(u"cache"_s)});
    }

private Q_SLOTS:
    void firstScan()
    {
        if (qEnvironmentVariableIsEmpty("QUILLORY_CLI"))
            QSKIP("QUILLORY_CLI not set");
        const QString volume = m_root.filePath(u"vol"_s);
        QVERIFY(QDir().mkpath(volume));
        for (const char *name : {"tagged.flac", "exif.jpg", "h264-aac.mp4", "small.iso"})
            QVERIFY(QFile::copy(QStringLiteral(QUILLORY_TEST_DATA "/media/library/") + QLatin1String(name),
                                volume + u'/' + QLatin1String(name)));
        const ProgramRun added = cli({u"add-disc"_s, volume, u"--title"_s, u"Media"_s, u"--serial"_s, u"0000ABCD"_s});
        QVERIFY2(added.code == 0, added.err.constData());

        const ProgramRun lists = cli({u"cat-lists"_s, u"0000ABCD"_s});
        QCOMPARE(lists.code, 0);
        for (const char *line : {"Title: Flac Title", "Sample rate: 8000 hz", "Width: 64", "Camera: Canon EOS 5D",
                                 "Video: AVC", "Audio: AAC, 2 channels", "Volume: PHOTOS_2021 (CDFS)"})
            QVERIFY2(lists.out.contains(QByteArray(line) + "\r\n"), line);

        const ProgramRun video = cli({u"search"_s, u"--category"_s, u"6"_s});
        QCOMPARE(video.code, 0);
        QVERIFY2(video.out.startsWith("h264-aac.mp4\t") && video.out.count('\n') == 1, video.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestCliMedia)
#include "tst_climedia.moc"
