#pragma once
// The engine's name table: names by index, for GameWrapper::GetFNameByIndex. Index 0 is "None".
//
// Threads: any thread; the table is guarded by mutex_.
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sim::game {

class NameTable {
public:
    NameTable();

    // The index of the name, added when new.
    int Intern(const std::string& name);
    // The name at the index; empty for an index that names nothing.
    std::string NameAt(int index) const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> names_;
    std::map<std::string, int> indices_;
};

}  // namespace sim::game
