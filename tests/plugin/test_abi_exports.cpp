// The built libraries export one symbol, VSTPluginMain, the Windows DLL
// depends only on DLLs every Windows machine has, and the plug-in carries
// none of the reference or test code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "chain/lane_sets.h"

namespace {

// Runs a command and returns its standard output; empty with ok = false when
// the command cannot be run or fails.
std::string runCommand(const std::string& command, bool& ok) {
  std::string output;
  ok = false;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  ok = pclose(pipe) == 0;
  return output;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Symbols the linker itself may define in a shared object's dynamic table.
bool linkerMade(const std::string& name) {
  static const std::set<std::string> kNames = {"_init", "_fini", "_edata", "_end",
                                               "__bss_start", "_DYNAMIC", "_GLOBAL_OFFSET_TABLE_"};
  return kNames.count(name) > 0;
}

// Parsed from x86_64-w64-mingw32-objdump -p: exported names and imported DLLs.
struct PeTables {
  std::vector<std::string> exports;
  std::vector<std::string> imports;
};

PeTables parsePe(const std::string& dump) {
  PeTables tables;
  bool inExportNames = false;
  for (const std::string& line : lines(dump)) {
    const auto dllName = line.find("DLL Name:");
    if (dllName != std::string::npos) {
      std::string name = line.substr(dllName + 9);
      name.erase(0, name.find_first_not_of(" \t"));
      name.erase(name.find_last_not_of(" \t\r") + 1);
      tables.imports.push_back(name);
      continue;
    }
    if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos ||
        line.find("[Name Pointer/Ordinal] Table") != std::string::npos) {
      inExportNames = true;
      continue;
    }
    if (inExportNames) {
      const auto open = line.find('[');
      const auto close = line.find(']');
      if (open == std::string::npos || close == std::string::npos) {
        inExportNames = false;
        continue;
      }
      std::string name = line.substr(close + 1);
      name.erase(0, name.find_first_not_of(" \t"));
      name.erase(name.find_last_not_of(" \t\r") + 1);
      if (!name.empty()) tables.exports.push_back(name);
    }
  }
  return tables;
}

bool systemDll(const std::string& name) {
  const std::string n = lower(name);
  static const std::set<std::string> kSystem = {
      "kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll", "ucrtbase.dll",
      "ntdll.dll",    "shell32.dll", "ole32.dll",   "gdi32.dll",  "ws2_32.dll"};
  return kSystem.count(n) > 0 || n.rfind("api-ms-win-", 0) == 0;
}

}  // namespace

TEST(AbiExports, SharedObjectExportsOnlyTheEntry) {
  bool ok = false;
  const std::string dump =
      runCommand("nm -D --defined-only '" + std::string(VARDO_PLUGIN_PATH) + "'", ok);
  ASSERT_TRUE(ok) << "nm -D failed on " << VARDO_PLUGIN_PATH;
  std::vector<std::string> exported;
  for (const std::string& line : lines(dump)) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (!(fields >> address >> type >> name)) continue;
    if (!linkerMade(name)) exported.push_back(name);
  }
  EXPECT_EQ(exported, std::vector<std::string>{"VSTPluginMain"}) << dump;
}

// Names of the symbol table (nm -C) of a library or archive.
std::vector<std::string> symbolNames(const std::string& path) {
  bool ok = false;
  const std::string dump = runCommand("nm -C '" + path + "' 2>/dev/null", ok);
  EXPECT_TRUE(ok) << "nm -C failed on " << path;
  std::vector<std::string> names;
  for (const std::string& line : lines(dump)) {
    // "address type name" or, for undefined symbols, "type name".
    const auto type = line.find_first_of(" ", line.find_first_not_of(' '));
    if (type != std::string::npos && line.size() > type + 3) names.push_back(line.substr(type + 3));
  }
  return names;
}

TEST(AbiExports, SharedObjectCarriesNoReferenceOrTestCode) {
  // Every lane-generic class the reference library instantiates on plain
  // floats: none of those float instantiations may reach the plug-in.
  const std::regex floatInstance(R"(vardo::(\w+)<float>)");
  std::set<std::string> referenceOnly;
  for (const std::string& name : symbolNames(VARDO_REFERENCE_LIBRARY)) {
    for (std::sregex_iterator it(name.begin(), name.end(), floatInstance), end; it != end; ++it)
      referenceOnly.insert((*it)[0]);
  }
  EXPECT_GE(referenceOnly.size(), 4u) << "the reference library lost its float instantiations";

  const std::vector<std::string> plugin = symbolNames(VARDO_PLUGIN_PATH);
  ASSERT_FALSE(plugin.empty());
  for (const std::string& name : plugin) {
    for (const std::string& reference : referenceOnly)
      EXPECT_EQ(name.find(reference), std::string::npos) << "reference code in the plug-in: " << name;
    EXPECT_EQ(name.find("vardo::test::"), std::string::npos) << "test code in the plug-in: " << name;
    EXPECT_EQ(name.find("vardo::measure::"), std::string::npos) << "host code in the plug-in: " << name;
    EXPECT_EQ(name.find("testing::"), std::string::npos) << "test code in the plug-in: " << name;
  }
}

// The DSP library's units compiled for AVX and AVX-512 may run only where
// the processor has those, which the chain checks before it builds the
// stages on their lanes. Two things would let their code run on any
// processor: a function the rest of the program also defines (an inline
// function or template the linker may take from such a unit instead of a
// baseline one), or code run at start-up. Everything each defines must
// therefore be named after its own lane type, whose namespace no other
// unit's contains: the lane operations are templates shared by every lane
// set, and only the namespace of each unit's primitives keeps their copies
// apart (the out-of-line redo of the quick functions must show it).
// (Sanitizer builds add their own module constructor to every unit.)
TEST(AbiExports, WideUnitsDefineOnlyTheirOwnCodeAndRunNothingAtStartUp) {
  for (const vardo::LaneSetRow& row : vardo::laneSets()) {
    for (const vardo::LaneSetRow& other : vardo::laneSets()) {
      if (row.unit == nullptr || other.unit == nullptr || &row == &other) continue;
      EXPECT_EQ(std::string(other.laneType).find(row.laneType), std::string::npos)
          << row.name << " and " << other.name << " would share names";
    }
  }
  bool ok = false;
  const std::string dump =
      runCommand("nm -C -A --defined-only '" + std::string(VARDO_DSP_LIBRARY) + "'", ok);
  ASSERT_TRUE(ok) << "nm failed on " << VARDO_DSP_LIBRARY;
  int seen = 0;
  std::set<std::string> redone;
  for (const vardo::LaneSetRow& row : vardo::laneSets()) {
    if (row.unit == nullptr) continue;
    std::string unit = ":";
    unit.append(row.unit).append(".o:");
    const std::string laneType = row.laneType;
    for (const std::string& line : lines(dump)) {
      // "archive:member:address type name"
      if (line.find(unit) == std::string::npos) continue;
      ++seen;
      const std::string rest = line.substr(line.find(".o:") + 3);
      std::istringstream fields(rest);
      std::string address, type, name;
      fields >> address >> type;
      std::getline(fields, name);
      if (name.find("_sub_I_00099_") != std::string::npos ||
          name.find("_sub_D_00099_") != std::string::npos)
        continue;
      EXPECT_EQ(name.find("_GLOBAL__sub_I"), std::string::npos) << "start-up code: " << line;
      // Data, read-only data and the unit's local labels run nothing.
      if (type == "b" || type == "d" || type == "r" || type == "B" || type == "D" ||
          type == "R" || type == "V" || type == "u" ||
          (type == "t" && name.find('.') != std::string::npos))
        continue;
      EXPECT_NE(name.find(laneType), std::string::npos)
          << "a wide unit defines a shared symbol: " << line;
      if (name.find("quick_detail::redo<" + laneType) != std::string::npos) redone.insert(row.name);
    }
    EXPECT_TRUE(redone.count(row.name)) << row.unit << " has no redo of its own";
  }
  if (seen == 0) GTEST_SKIP() << "no wide units in this build";
}

TEST(AbiExports, PeParserReadsExportAndImportTables) {
  // A fragment in objdump's layout, so a change of the parser is caught even
  // where the DLL has not been built.
  const std::string dump =
      "\tDLL Name: KERNEL32.dll\n"
      "\tvma:  Hint/Ord Member-Name Bound-To\n"
      "\t1a2b\t  123  GetLastError\n"
      "\tDLL Name: libstdc++-6.dll\n"
      "[Ordinal/Name Pointer] Table\n"
      "\t[   0] VSTPluginMain\n"
      "\t[   1] main\n"
      "\n"
      "The Function Table (interpreted .pdata section contents)\n";
  const PeTables tables = parsePe(dump);
  EXPECT_EQ(tables.exports, (std::vector<std::string>{"VSTPluginMain", "main"}));
  EXPECT_EQ(tables.imports, (std::vector<std::string>{"KERNEL32.dll", "libstdc++-6.dll"}));
  EXPECT_TRUE(systemDll("KERNEL32.dll"));
  EXPECT_TRUE(systemDll("api-ms-win-crt-runtime-l1-1-0.dll"));
  EXPECT_FALSE(systemDll("libstdc++-6.dll"));
  EXPECT_FALSE(systemDll("libgcc_s_seh-1.dll"));
  EXPECT_FALSE(systemDll("libwinpthread-1.dll"));
}

TEST(AbiExports, WindowsDllExportsOnlyTheEntryAndImportsOnlySystemDlls) {
  const std::string dll = VARDO_WINDOWS_DLL;
  if (!std::filesystem::exists(dll))
    GTEST_SKIP() << "Windows DLL not built (" << dll
                 << "); run: cmake --preset windows && cmake --build build/windows -j2";
  bool ok = false;
  const std::string dump = runCommand("x86_64-w64-mingw32-objdump -p '" + dll + "'", ok);
  if (!ok) GTEST_SKIP() << "x86_64-w64-mingw32-objdump is not available";
  const PeTables tables = parsePe(dump);
  EXPECT_EQ(tables.exports, std::vector<std::string>{"VSTPluginMain"});
  ASSERT_FALSE(tables.imports.empty());
  for (const std::string& name : tables.imports)
    EXPECT_TRUE(systemDll(name)) << "the DLL depends on " << name;
}
