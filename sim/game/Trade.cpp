#include "sim/game/Trade.h"

#include <utility>

#include <fmt/format.h>

namespace sim::game {

std::string FormatGuid(const Guid& guid, GUIDWrapper::EGuidFormats format)
{
    using Format = GUIDWrapper::EGuidFormats;
    const std::string hyphens = fmt::format("{:08X}-{:04X}-{:04X}-{:04X}-{:04X}{:08X}", guid.a,
                                            guid.b >> 16, guid.b & 0xFFFF, guid.c >> 16,
                                            guid.c & 0xFFFF, guid.d);
    switch (format) {
    case Format::Digits:
        return fmt::format("{:08X}{:08X}{:08X}{:08X}", guid.a, guid.b, guid.c, guid.d);
    case Format::DigitsWithHyphens:
        return hyphens;
    case Format::DigitsWithHyphensInBraces:
        return "{" + hyphens + "}";
    case Format::DigitsWithHyphensInParentheses:
        return "(" + hyphens + ")";
    case Format::HexValuesInBraces:
        return fmt::format(
            "{{0x{:08X},0x{:04X},0x{:04X},{{0x{:02X},0x{:02X},0x{:02X},0x{:02X},0x{:02X},0x{:02X},"
            "0x{:02X},0x{:02X}}}}}",
            guid.a, guid.b >> 16, guid.b & 0xFFFF, guid.c >> 24, (guid.c >> 16) & 0xFF,
            (guid.c >> 8) & 0xFF, guid.c & 0xFF, guid.d >> 24, (guid.d >> 16) & 0xFF,
            (guid.d >> 8) & 0xFF, guid.d & 0xFF);
    case Format::UniqueObjectGuid:
        break;
    }
    return fmt::format("{:08X}-{:08X}-{:08X}-{:08X}", guid.a, guid.b, guid.c, guid.d);
}

TradeLobby::TradeLobby(Trade trade)
    : partner{std::move(trade.partnerId)}, sending(std::move(trade.sending)),
      receiving(std::move(trade.receiving)), sendingCurrency(std::move(trade.sendingCurrency)),
      receivingCurrency(std::move(trade.receivingCurrency)), guid(trade.guid)
{
}

}  // namespace sim::game
