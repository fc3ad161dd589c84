#include "sim/game/NameTable.h"

namespace sim::game {

NameTable::NameTable()
{
    Intern("None");
}

int NameTable::Intern(const std::string& name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto [found, added] = indices_.emplace(name, static_cast<int>(names_.size()));
    if (added) {
        names_.push_back(name);
    }
    return found->second;
}

std::string NameTable::NameAt(int index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= names_.size()) {
        return {};
    }
    return names_[static_cast<std::size_t>(index)];
}

}  // namespace sim::game
