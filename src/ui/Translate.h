#pragma once
// User-interface texts through the "kestrune" gettext message catalogues.
// Without a catalogue for the user's language every text comes back unchanged.
#include <QString>

inline constexpr char kTextDomain[] = "kestrune";

// The translation of text (UTF-8) for the user's language, or text itself.
QString Translate(const char* text);

// Where the catalogues live (<dir>/<lang>/LC_MESSAGES/kestrune.mo); by default
// "locale" beside the executable. Takes effect for every later lookup.
void SetTranslationDirectory(const QString& dir);
