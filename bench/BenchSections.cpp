#include "BenchSections.h"

#include "model/FormatTime.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <random>

ProjectContent makeProject(int sections, bool foreign)
{
    static const QStringList Words = {
        "the",   "and",    "we",        "said",      "that",    "was",      "really",
        "about", "going",  "interview", "question",  "because", "morning",  "people",
        "think", "I",      "you",       "know",      "well",    "there",    "station",
        "river", "market", "yesterday", "everybody", "started", "remember", "of",
        "to",    "in",     "it",        "a",         "so",      "but",      "they"};
    static const QStringList Accented = {"café",   "naïve", "Zürich",  "über", "résumé",
                                         "façade", "señor", "don’t",   "déjà", "Müller",
                                         "“yes”",  "5 €",   "Ångström"};
    static const QStringList Foreign = {"Łódź", "你好", "Gdańsk", "ℓ"};
    std::mt19937 random(20240417);
    auto pick = [&random](const QStringList& list) {
        return list[random() % list.size()];
    };

    ProjectContent content;
    content.mediaFile = QDir::home().filePath("Recordings/interview-2024-04-17.mp3");
    content.rows.reserve(sections);
    qint32 start = 0;
    for (int i = 0; i < sections; ++i) {
        const qint32 end = start + 1500 + qint32(random() % 4500);
        QString text;
        const int length = 170 + int(random() % 60);
        while (text.size() < length) {
            if (!text.isEmpty())
                text += u' ';
            text += random() % 12 == 0 ? pick(Accented) : pick(Words);
        }
        if (foreign && random() % 100 == 0)
            text += u' ' + pick(Foreign);
        content.rows.push_back({RawPositionText(start), RawPositionText(end), FormatTime(start),
                                FormatTime(end), text});
        start = end;
    }
    return content;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

const char* verdict(double ms, double targetMs)
{
    return ms < targetMs ? "met" : "MISSED";
}
