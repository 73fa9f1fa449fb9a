#include "adding/NumberGaps.h"
#include "platform/text/Counts.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace kelvora::adding {

namespace {

// Longer runs are codes or dates rather than frame numbers, and would not fit 64 bits.
constexpr std::size_t kMaxDigits = 18;
constexpr std::uint64_t kMostMissing = std::numeric_limits<std::int64_t>::max();

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Natural order sorts letters without regard to case, so a sequence may change case.
bool sameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::ranges::equal(a, b, [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string numbered(std::string_view prefix, std::uint64_t number, std::size_t width, std::string_view suffix)
{
    std::string digits = std::to_string(number);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return std::string(prefix) + digits + std::string(suffix);
}

}  // namespace

void NumberGaps::take(std::string_view name)
{
    const std::size_t end = name.find_last_of("0123456789");
    if (end == std::string_view::npos) {
        m_sequence.open = false;
        return;
    }
    std::size_t begin = end;
    while (begin > 0 && isDigit(name[begin - 1]))
        --begin;
    const std::string_view digits = name.substr(begin, end + 1 - begin);
    if (digits.size() > kMaxDigits) {
        m_sequence.open = false;
        return;
    }
    const std::uint64_t number = std::stoull(std::string(digits));
    const std::string_view prefix = name.substr(0, begin);
    const std::string_view suffix = name.substr(end + 1);
    const std::size_t width = digits.size() > 1 && digits.front() == '0' ? digits.size() : 0;
    if (m_sequence.open && sameText(prefix, m_sequence.prefix) && sameText(suffix, m_sequence.suffix)) {
        m_sequence.width = std::max(m_sequence.width, width);
        if (number > m_sequence.last + 1)
            note(m_sequence, m_sequence.last + 1, number - 1);
        m_sequence.last = std::max(m_sequence.last, number);
        m_sequence.prefix = prefix;  // the names shown follow the files' own case
        m_sequence.suffix = suffix;
        return;
    }
    m_sequence = {std::string(prefix), std::string(suffix), number, width, true};
}

void NumberGaps::note(const Sequence& sequence, std::uint64_t from, std::uint64_t to)
{
    // Many sequences of 18-digit numbers could overflow the sum: it stops at the largest count.
    const std::uint64_t gap = to - from + 1;
    m_missing = gap > kMostMissing - m_missing ? kMostMissing : m_missing + gap;
    for (std::uint64_t n = from; n <= to && m_firstMissing.size() < kNamesShown; ++n)
        m_firstMissing.push_back(numbered(sequence.prefix, n, sequence.width, sequence.suffix));
}

std::string NumberGaps::summary() const
{
    if (m_missing == 0)
        return {};
    const auto count = static_cast<std::int64_t>(m_missing);
    const bool beyondCount = m_missing == kMostMissing;
    std::string text = beyondCount ? "mancano più di " + platform::countText(count, "numero", "numeri") + ": "
                                   : std::string(platform::forCount(count, "manca ", "mancano ")) +
                                         platform::countText(count, "numero", "numeri") + ": ";
    for (std::size_t i = 0; i < m_firstMissing.size(); ++i)
        text += (i > 0 ? ", " : "") + m_firstMissing[i];
    if (const std::uint64_t rest = m_missing - m_firstMissing.size(); beyondCount)
        text += " e altri";
    else if (rest > 0)
        text += rest == 1 ? " e 1 altro" : " e altri " + std::to_string(rest);
    return text;
}

}  // namespace kelvora::adding
