// Trimming of port and command texts.

#include "newwin/text_trim.h"

namespace newwin {

namespace {

template <typename Trimmed>
QString trim_where(const QString& text, Trimmed trimmed)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && trimmed(text[begin]))
        ++begin;
    while (end > begin && trimmed(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

}  // namespace

QString trim_blanks(const QString& text)
{
    return trim_where(text, [](QChar c) { return c == QLatin1Char(' '); });
}

QString trim_text(const QString& text)
{
    return trim_where(text, [](QChar c) { return c.unicode() <= 32; });
}

}  // namespace newwin
