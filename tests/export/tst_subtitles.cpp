#include "TestMedia.h"

#include "export/SubtitleText.h"
#include "model/SectionTableModel.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <gst/gst.h>

namespace {

void fill(SectionTableModel& table, const QList<SectionTableModel::Cells>& rows)
{
    table.resize(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row)
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column)
            table.setCell(row, column, rows[row][column]);
}

struct Cue
{
    GstClockTime start = 0;
    GstClockTime duration = 0;
    QString text;
};

// Every cue GStreamer's subparse reads from the file at `path`, its text as
// plain UTF-8: for such caps subparse strips its own Pango markup. `error`
// gets the pipeline's error, if any.
QList<Cue> readBack(const QString& path, QString& error)
{
    GError* launchError = nullptr;
    GstElement* pipeline =
        gst_parse_launch("filesrc name=source ! subparse ! "
                         "text/x-raw,format=utf8 ! appsink name=sink sync=false wait-on-eos=false",
                         &launchError);
    if (!pipeline) {
        error = QString::fromUtf8(launchError->message);
        g_error_free(launchError);
        return {};
    }
    const auto stop = qScopeGuard([pipeline] {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    });
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "source");
    g_object_set(source, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(source);

    // The sink keeps every cue until it is pulled and, told not to wait for
    // that, ends the stream at once: the whole file is read first.
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 10 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    gst_object_unref(bus);
    if (!message) {
        error = "no end of stream";
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* failure = nullptr;
        gst_message_parse_error(message, &failure, nullptr);
        error = QString::fromUtf8(failure->message);
        g_error_free(failure);
    }
    if (message)
        gst_message_unref(message);

    QList<Cue> cues;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    for (;;) {
        GstSample* sample = nullptr;
        g_signal_emit_by_name(sink, "try-pull-sample", GstClockTime(0), &sample);
        if (!sample)
            break;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            cues.push_back(
                {GST_BUFFER_PTS(buffer), GST_BUFFER_DURATION(buffer),
                 QString::fromUtf8(reinterpret_cast<const char*>(map.data), qsizetype(map.size))});
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_object_unref(sink);
    return cues;
}

} // namespace

class TestSubtitles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bytesOfBothFormats();
    void timesAndSkippedSections();
    void readBackThroughSubparse();
};

void TestSubtitles::initTestCase()
{
    gst_init(nullptr, nullptr);
    for (const char* name : {"filesrc", "subparse", "appsink"}) {
        GstElementFactory* factory = gst_element_factory_find(name);
        QVERIFY2(factory, name);
        gst_object_unref(factory);
    }
}

// Sections without text or without time give no cue and no cue number; the
// text is trimmed, UTF-8 and, for WebVTT, escaped; SubRip keeps tag-like
// text from being read as a tag.
void TestSubtitles::bytesOfBothFormats()
{
    SectionTableModel table;
    fill(table, {
                    {"0", "2500", "00:00:00", "00:00:02", "  Good morning, café.  "},
                    {"2500", "4000", "00:00:02", "00:00:04", ""},
                    {"4000", "5000", "00:00:04", "00:00:05", " \t  "},
                    {"5000", "5000", "00:00:05", "00:00:05", "Never shown"},
                    {"5000", "7250", "00:00:05", "00:00:07", "<i>Laughs</i> & 5 < 6 --> 3"},
                });

    QCOMPARE(subtitleBytes(table, SubtitleFormat::SubRip),
             QByteArray("1\r\n"
                        "00:00:00,000 --> 00:00:02,500\r\n"
                        "Good morning, caf\xC3\xA9.\r\n"
                        "\r\n"
                        "2\r\n"
                        "00:00:05,000 --> 00:00:07,250\r\n"
                        "<\xE2\x81\xA0i>Laughs<\xE2\x81\xA0/i> & 5 < 6 --> 3\r\n"
                        "\r\n"));
    QCOMPARE(subtitleBytes(table, SubtitleFormat::WebVtt),
             QByteArray("WEBVTT\r\n"
                        "\r\n"
                        "00:00:00.000 --> 00:00:02.500\r\n"
                        "Good morning, caf\xC3\xA9.\r\n"
                        "\r\n"
                        "00:00:05.000 --> 00:00:07.250\r\n"
                        "&lt;i&gt;Laughs&lt;/i&gt; &amp; 5 &lt; 6 --&gt; 3\r\n"
                        "\r\n"));

    // A tag may have blanks after its "<"; a "<" with no ">" after it
    // starts none.
    SectionTableModel notes;
    fill(notes, {{"0", "1000", "", "", "< i>aside</ i> <note"}});
    QCOMPARE(subtitleBytes(notes, SubtitleFormat::SubRip),
             QByteArray("1\r\n00:00:00,000 --> 00:00:01,000\r\n"
                        "<\xE2\x81\xA0 i>aside<\xE2\x81\xA0/ i> <note\r\n\r\n"));
}

// Times come from the raw millisecond cells, to the millisecond and past
// 100 hours; a raw cell that is not plain decimal digits drops its section.
void TestSubtitles::timesAndSkippedSections()
{
    SectionTableModel table;
    fill(table, {
                    {"1", "999", "", "", "a"},
                    {"-5", "100", "", "", "negative"},
                    {"+5", "100", "", "", "signed"},
                    {" 5", "100", "", "", "blank"},
                    {"5", "1e3", "", "", "exponent"},
                    {"5.0", "100", "", "", "fraction"},
                    {"", "100", "", "", "empty"},
                    {"5", "99999999999999999999", "", "", "too large"},
                    {"\u0665", "100", "", "", "Arabic digit"},
                    {"61001", "3599999", "", "", "b"},
                    {"7000", "6000", "", "", "backwards"},
                    {"360000000", "360000001", "", "", "c"},
                    {"3599999999", "3600000000", "", "", "d"},
                });
    QCOMPARE(subtitleBytes(table, SubtitleFormat::SubRip),
             QByteArray("1\r\n00:00:00,001 --> 00:00:00,999\r\na\r\n\r\n"
                        "2\r\n00:01:01,001 --> 00:59:59,999\r\nb\r\n\r\n"
                        "3\r\n100:00:00,000 --> 100:00:00,001\r\nc\r\n\r\n"
                        "4\r\n999:59:59,999 --> 1000:00:00,000\r\nd\r\n\r\n"));
    QCOMPARE(subtitleBytes(table, SubtitleFormat::WebVtt),
             QByteArray("WEBVTT\r\n\r\n"
                        "00:00:00.001 --> 00:00:00.999\r\na\r\n\r\n"
                        "00:01:01.001 --> 00:59:59.999\r\nb\r\n\r\n"
                        "100:00:00.000 --> 100:00:00.001\r\nc\r\n\r\n"
                        "999:59:59.999 --> 1000:00:00.000\r\nd\r\n\r\n"));

    // No cue at all: an empty SubRip file, a WebVTT file of its header.
    SectionTableModel silent;
    fill(silent, {{"0", "1000", "", "", ""}, {"1000", "2000", "", "", "  "}});
    QCOMPARE(subtitleBytes(silent, SubtitleFormat::SubRip), QByteArray());
    QCOMPARE(subtitleBytes(silent, SubtitleFormat::WebVtt), QByteArray("WEBVTT\r\n\r\n"));
}

// GStreamer reads both files back with the typed times and texts, hours of
// three and four digits included.
void TestSubtitles::readBackThroughSubparse()
{
    const QStringList typed = {
        "Good morning, everyone.", "Café & crème, it's l'été — Ünïcödé",
        "5 < 6 & 7 > 3",           "Zażółć gęślą jaźń",
        "<b>Bold</b> claim",
    };
    SectionTableModel table;
    fill(table, {
                    {"0", "1001", "", "", typed[0]},
                    {"61001", "62999", "", "", typed[1]},
                    {"62999", "65000", "", "", typed[2]},
                    {"360000000", "360001500", "", "", typed[3]},
                    {"3600000000", "3600000250", "", "", typed[4]},
                });
    const QList<QPair<qint64, qint64>> times = {{0, 1001},
                                                {61001, 62999},
                                                {62999, 65000},
                                                {360000000, 360001500},
                                                {3600000000, 3600000250}};

    // SubRip reads back as typed; the word joiners keep the tag-like text,
    // unseen. subparse leaves WebVTT character references as they stand
    // (other readers decode them), so it shows them.
    const QString joiner(QChar(0x2060));
    const QStringList subRipText = {typed[0], typed[1], typed[2], typed[3],
                                    "<" + joiner + "b>Bold<" + joiner + "/b> claim"};
    const QStringList webVttText = {typed[0], "Café &amp; crème, it's l'été — Ünïcödé",
                                    "5 &lt; 6 &amp; 7 &gt; 3", typed[3],
                                    "&lt;b&gt;Bold&lt;/b&gt; claim"};

    QTemporaryDir dir;
    const QList<std::tuple<SubtitleFormat, QString, QStringList>> files = {
        {SubtitleFormat::SubRip, "cues.srt", subRipText},
        {SubtitleFormat::WebVtt, "cues.vtt", webVttText},
    };
    for (const auto& [format, name, texts] : files) {
        const QString path = TestMedia::writeFile(dir.path(), name, subtitleBytes(table, format));
        QVERIFY(!path.isEmpty());
        QString error;
        const QList<Cue> cues = readBack(path, error);
        QVERIFY2(error.isEmpty(), qPrintable(name + ": " + error));
        QCOMPARE(cues.size(), times.size());
        for (int i = 0; i < cues.size(); ++i) {
            QCOMPARE(cues[i].start, GstClockTime(times[i].first) * GST_MSECOND);
            QCOMPARE(cues[i].duration,
                     GstClockTime(times[i].second - times[i].first) * GST_MSECOND);
            QCOMPARE(cues[i].text, texts[i]);
        }
    }
}

QTEST_GUILESS_MAIN(TestSubtitles)
#include "tst_subtitles.moc"
