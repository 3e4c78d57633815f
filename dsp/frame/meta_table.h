// Collector of a DSP's descriptive key/value texts (name, author, version...).
#pragma once

#include <map>
#include <string>

class MetaTable {
 public:
  void declare(const char* key, const char* value) { fEntries[key] = value; }
  const std::string* find(const std::string& key) const {
    auto it = fEntries.find(key);
    return it == fEntries.end() ? nullptr : &it->second;
  }
  std::size_t size() const { return fEntries.size(); }
  const std::map<std::string, std::string>& entries() const { return fEntries; }

 private:
  std::map<std::string, std::string> fEntries;
};
