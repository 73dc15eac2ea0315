#include "checks/CodeLists.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

extern const char* const kCodeListTexts[];
extern const std::size_t kCodeListCount;

namespace {

const std::vector<std::unordered_set<std::u16string>>& Lists()
{
    static std::vector<std::unordered_set<std::u16string>> lists;
    static std::once_flag once;
    std::call_once(once, [] {
        lists.resize(kCodeListCount);
        for (std::size_t i = 0; i < kCodeListCount; ++i) {
            const QString text = QString::fromUtf8(kCodeListTexts[i]);
            for (const QString& code : text.split(u' ', Qt::SkipEmptyParts))
                lists[i].insert(code.toStdU16String());
        }
    });
    return lists;
}

} // namespace

bool OnCodeList(TCodeList list, QStringView code)
{
    const auto& set = Lists().at(std::size_t(list));
    return set.count(std::u16string(code.utf16(), std::size_t(code.size()))) != 0;
}

QString CodeListText(TCodeList list)
{
    return QLatin1Char(' ') + QString::fromUtf8(kCodeListTexts[std::size_t(list)]) + QLatin1Char(' ');
}

int CodeListSize(TCodeList list)
{
    return int(Lists().at(std::size_t(list)).size());
}
