#pragma once
// Owned products in the plug-in's own product form, the form the service receives and the
// inventory snapshot file stores:
//   {"ID": 23, "SeriesID": 0, "TradeHold": 0, "InstanceID": 1001, "Quality": 3,
//    "Attributes": [{"Key": "Painted", "Value": "2"}, {"Key": "CertifiedValue", "Value": "120"},
//                   {"Key": "Certified", "Value": "5"}, {"Key": "TitleID", "Value": "SKY LORD"}]}
// Each attribute is one entry keyed by its type name, a certified one preceded by its
// "CertifiedValue"; the value is the attribute's number in decimal, a title's text, or "" for a
// type without a value. `inventory load` reads the form, `inventory save` writes it, exactly as
// the plug-in would describe the same products.
//
// Threads: game thread (titles go through the host's name table).
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/Host.h"
#include "sim/game/Product.h"

namespace plexarsim {

// The products of `document`: an array of products, or an object whose "items" is one (a
// snapshot file). Throws std::invalid_argument naming the place of the first problem
// ("items[3].Attributes[1]: ...").
std::vector<sim::game::Product> ReadProductForm(const nlohmann::json& document, sim::Host& host);

// The products as an array in the product form.
nlohmann::json WriteProductForm(const std::vector<sim::game::Product>& products, const sim::Host& host);

}  // namespace plexarsim
