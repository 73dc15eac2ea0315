#include "checks/CodeLists.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

extern const char* const kCodeListTexts[];
extern const std::size_t kCodeListCount;

namespace {

// Each list is made a sorted index into its own text when a rule first asks it: a check
// of one invoice asks a few of them, and making all (thousands of unit and scheme codes)
// took a third of the tool's start-up.
const std::vector<std::string_view>& List(TCodeList list)
{
    constexpr std::size_t kLists = std::size_t(TCodeList::XRechnungUntdid7143Cvd) + 1;
    static std::vector<std::string_view> lists[kLists];
    static std::once_flag once[kLists];
    const std::size_t i = std::size_t(list);
    if (i >= kLists || i >= kCodeListCount)
        throw std::out_of_range("code list");
    std::call_once(once[i], [i] {
        std::vector<std::string_view>& codes = lists[i];
        const std::string_view text(kCodeListTexts[i]);
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = std::min(text.find(' ', at), text.size());
            if (end > at)
                codes.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        std::sort(codes.begin(), codes.end());
        codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    });
    return lists[i];
}

} // namespace

bool OnCodeList(TCodeList list, QStringView code)
{
    const std::vector<std::string_view>& codes = List(list);
    const QByteArray utf8 = code.toUtf8();
    return std::binary_search(codes.begin(), codes.end(), std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

QString CodeListText(TCodeList list)
{
    return QLatin1Char(' ') + QString::fromUtf8(kCodeListTexts[std::size_t(list)]) + QLatin1Char(' ');
}

int CodeListSize(TCodeList list)
{
    return int(List(list).size());
}
