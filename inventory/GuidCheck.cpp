#include "inventory/GuidCheck.h"

#include <algorithm>

namespace quorvex {
namespace {

bool IsUnreserved(char character)
{
    return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
           (character >= '0' && character <= '9') || character == '-' || character == '_' || character == '.' ||
           character == '~';
}

}  // namespace

std::string GuidProblem(const std::string& guid)
{
    if (guid.empty()) {
        return "the guid is empty";
    }
    if (guid.size() > MaxGuidBytes) {
        return "the guid is longer than 256 bytes";
    }
    if (!std::all_of(guid.begin(), guid.end(), IsUnreserved)) {
        return "the guid holds characters other than letters, digits and -_.~";
    }
    return {};
}

}  // namespace quorvex
