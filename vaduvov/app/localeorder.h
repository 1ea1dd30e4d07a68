// The order of texts by the rules of a language, for the sorts by text.
#pragma once

#include <QLocale>

#include <string>
#include <vector>

// The positions of the Shift-JIS texts in ascending order, without regard
// to case, by the collation of locale.  Full-width and half-width forms
// of a letter or kana compare equal, as do hiragana and katakana; equal
// texts keep their order.
std::vector<size_t> LocaleTextOrder(const std::vector<std::string>& texts, const QLocale& locale);

// The locale whose order the sorts follow: the user's, or Japanese where
// the user's names no language (C, POSIX), as the texts sorted here are
// Japanese.
QLocale SortLocale();

// Makes the sorts by text follow SortLocale (see SetTextOrder).
void UseLocaleTextOrder();
