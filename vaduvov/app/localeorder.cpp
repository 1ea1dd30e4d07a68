#include "localeorder.h"

#include "gridsort.h"
#include "sjis.h"

#include <QCollator>
#include <QCollatorSortKey>

#include <algorithm>

std::vector<size_t> LocaleTextOrder(const std::vector<std::string>& texts, const QLocale& locale) {
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    // One key per text, made once: comparing keys is far cheaper than
    // comparing the texts themselves at every step of the sort.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(texts.size());
    for (const std::string& t : texts) keys.push_back(collator.sortKey(QString::fromStdString(sjis::ToUtf8(t))));
    std::vector<size_t> order(texts.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
    return order;
}

QLocale SortLocale() {
    const QLocale user;
    if (user.language() == QLocale::C || user.language() == QLocale::AnyLanguage)
        return QLocale(QLocale::Japanese, QLocale::Japan);
    return user;
}

void UseLocaleTextOrder() {
    const QLocale locale = SortLocale();
    SetTextOrder([locale](const std::vector<std::string>& texts) { return LocaleTextOrder(texts, locale); });
}
