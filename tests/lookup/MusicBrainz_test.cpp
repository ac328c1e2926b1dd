#include "lookup/MusicBrainz.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace
{

// libdiscid's published example: tracks at 150 and 1000, lead-out at 2000.
const QString Disc = "YPv1TJ03f7pu6fgwp1cpr3cVsf0-";

// Single quotes stand for double ones, to keep the answers short.
QByteArray answer(const QString &releases)
{
    return QString("{'releases':[" + releases + "]}").replace('\'', '"').toUtf8();
}

QString release(const QString &id, const QString &media,
                const QString &more = "'date':'1999-05-03','country':'IT'")
{
    return "{'id':'" + id + "','title':'T" + id +
           "','artist-credit':[{'name':'A','joinphrase':' & '},{'name':'B'}],'media':[" + media + "]," +
           more + "}";
}

QString medium(int position, const QString &disc, const QString &tracks = "{'title':'One','id':'t1'}")
{
    return QString("{'position':%1,'format':'CD','discs':[{'id':'%2'}],'tracks':[%3]}")
        .arg(position)
        .arg(disc, tracks);
}

// One line per release, its tracks after the colon.
QString describe(const std::vector<MusicBrainzRelease> &releases)
{
    QString text;
    for (const MusicBrainzRelease &r : releases) {
        text += QStringList{r.releaseId, r.title, r.artist, r.year, r.country, r.format, r.label}.join('|') +
                QString("|%1/%2:").arg(r.mediumPosition).arg(r.mediumCount);
        for (const MusicBrainzTrack &t : r.tracks)
            text += QString(" %1.").arg(t.position) +
                    QStringList{t.number + " " + t.title, t.artist, t.trackId, t.recordingId}.join('/');
        text += "\n";
    }
    return text;
}

} // namespace

// A data track first stays in the table; a data track last ends the audio 11400 frames before it.
TEST(MusicBrainz, DiscIdFromTheTableOfContents)
{
    std::vector<MusicBrainzTocTrack> hundred(100);
    for (uint32_t i = 0; i < 100; ++i)
        hundred[i].start = 150 + 100 * i;
    const std::tuple<std::vector<MusicBrainzTocTrack>, uint32_t, QString> cases[] = {
        {{{150, false}, {1000, false}}, 2000, Disc},
        {{{150, true}, {1000, false}}, 2000, Disc},
        {{{150, false}, {1000, false}, {13400, true}}, 90000, Disc},
        {{{150, false}, {11000, true}}, 90000, ""},
        {{{150, false}, {1000, false}}, 1000, ""},
        {{{150, false}, {150, false}}, 2000, ""},
        {{}, 2000, ""},
        {hundred, 20000, ""},
    };
    for (const auto &[tracks, leadOut, id] : cases)
        EXPECT_EQ(MusicBrainz::DiscId(tracks, leadOut).toStdString(), id.toStdString())
            << tracks.size() << " tracks, lead-out " << leadOut;
}

// Every release that holds the disc, with the medium that is the disc; anything else gives none. Text
// that has no UTF-8 form is mended as it is read.
TEST(MusicBrainz, ReleasesHoldingTheDisc)
{
    const QString one = release("r1", medium(1, Disc));
    const QString oneRead = "r1|Tr1|A & B|1999|IT|CD||1/1: 0. One/A & B/t1/\n";
    const QString artists =
        "{'title':'X','position':1,'number':'A1','artist-credit':[{'name':'C'}]},"
        "{'title':'Y','recording':{'id':'y','artist-credit':[{'name':'D'}]}},{'title':'Z'}";
    const std::pair<QByteArray, QString> cases[] = {
        {answer(one), oneRead},
        {answer(one + "," +
                release("r2", medium(1, Disc), "'date':'','label-info':[{'label':{'name':'L'}}]")),
         oneRead + "r2|Tr2|A & B|||CD|L|1/1: 0. One/A & B/t1/\n"},
        {answer(release("r3", medium(1, "other") + "," + medium(2, Disc, artists) + "," + medium(3, Disc))),
         "r3|Tr3|A & B|1999|IT|CD||2/3: 1.A1 X/C// 0. Y/D//y 0. Z/A & B//\n"},
        {answer(release("r4", medium(1, "other"))), ""},
        {answer(one).chopped(2), ""},
        {answer(one).replace("\"Tr1\"", "5"), ""},
        // Half a surrogate pair reads as U+FFFD, a whole pair as its character.
        {answer(one).replace("\"Tr1\"", "\"T\\ud800\\ud83c\\udfb5\\udc00\""),
         QString(oneRead).replace("Tr1", "T\ufffd\U0001F3B5\ufffd")},
        {answer(release("r5", medium(1, Disc, "5"))), ""},
        {answer(release("r6", medium(1, Disc, QStringList(100, "{'title':'t'}").join(',')))), ""},
        {answer(one) + QByteArray(MusicBrainz::MaxAnswerBytes, ' '), ""},
        {answer(QStringList(101, one).join(',')), oneRead.repeated(100)},
    };
    for (const auto &[text, read] : cases)
        EXPECT_EQ(describe(MusicBrainz::ReadReleases(text, Disc)).toStdString(), read.toStdString())
            << text.left(300).toStdString();
}
