// Names and how they match: letter case, the wildcards * and ?, and what
// may stand as one piece of a path. The one home of letter case: every
// comparison that ignores it, and every change of it, is made here.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// Upper- and lower-cased by the platform's locale-independent rules.
std::wstring UpperCase(std::wstring_view text);
std::wstring LowerCase(std::wstring_view text);

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);
bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix);
bool EndsWithIgnoringCase(std::wstring_view text, std::wstring_view suffix);

bool HasWildcards(std::wstring_view text);

// Whether a file name matches a pattern, letter case aside. * stands for
// any run of characters; ? for one character other than a dot, or for none
// where the name has a dot or ends, as on Windows.
bool NameMatchesPattern(std::wstring_view name, std::wstring_view pattern);

// A pattern matched against many names: upper-cased once.
class NamePattern {
public:
    explicit NamePattern(std::wstring_view pattern);
    bool Matches(std::wstring_view name) const;

private:
    std::wstring upper_;
};

// Whether `name` could stand as one piece of a Windows path: no separator,
// no wildcard, colon, < > " | or control character, not "." or "..".
bool IsPlainName(std::wstring_view name);

bool EndsInDotOrBlank(std::wstring_view name);

}  // namespace vantrel
