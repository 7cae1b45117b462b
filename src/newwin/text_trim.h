#pragma once
// Trimming rules for the texts the New window dialog reads.

#include <QString>

namespace newwin {

// Leading and trailing blanks (character 32) removed; the port field holds only digits and blanks.
QString trim_blanks(const QString& text);

// Leading and trailing blanks and control characters (everything up to character 32) removed,
// as the framework trims a command.
QString trim_text(const QString& text);

}  // namespace newwin
