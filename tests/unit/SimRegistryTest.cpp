#include "platform/sim/SimRegistry.h"

#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include "tests/unit/ScratchFolder.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZIL";

class SimRegistryTest : public ::testing::Test {
protected:
    test_support::ScratchFolder m_folder{"zil-registry"};
    SimMachine m_machine{test_support::VirtualClockMachine(m_folder.string())};
    SimRegistry m_registry{m_machine};
};

// Whatever bytes a value holds, another process reading the file gets them back exactly: an
// upgrade that fails gives the old entry back from such a read.
TEST_F(SimRegistryTest, EveryValueSurvivesTheFileByteForByte) {
    std::string allBytes;
    for (int c = 0; c < 256; ++c) {
        allBytes += static_cast<char>(c);
    }
    const std::vector<RegistryValue> written = {
        RegistryValue::Text("DisplayName", "ZIL"),
        RegistryValue::Text("Quoted \"name\" \\ with =", "C:\\Program Files (x86)\\ZIL\\\"x\""),
        RegistryValue::Text("", "the default value"),
        {"Expandable", REG_VALUE_EXPANDABLE, std::string("%ProgramFiles%\\ZIL") + '\0'},
        RegistryValue::Dword("EstimatedSize", 0xDEADBEEF),
        RegistryValue::Dword("NoModify", 1),
        {"Binary", REG_VALUE_BINARY, allBytes},
        {"Empty", REG_VALUE_BINARY, ""},
        {"Text without its NUL", REG_VALUE_TEXT, "abc"},
        {"Short dword", REG_VALUE_DWORD, "\x01\x02"},
        {"Multi", 7, std::string("a\0b\0\0", 5)},
    };
    ASSERT_EQ(m_registry.createKey(kKey), WIN_OK);
    for (const RegistryValue& value : written) {
        ASSERT_EQ(m_registry.setValue(kKey, value), WIN_OK) << value.name;
    }
    SimMachine other(test_support::VirtualClockMachine(m_folder.string()));
    std::vector<RegistryValue> read;
    ASSERT_EQ(SimRegistry(other).readValues(kKey, read), WIN_OK);
    EXPECT_EQ(read, written);
    EXPECT_EQ(SimRegistry::Parse(SimRegistry::Format(m_registry.keys())), m_registry.keys());
}

// The calls answer as Windows' do: keys made with their parents, names without case, a value
// replaced in place, a key with keys below it not deleted, a missing key 2.
TEST_F(SimRegistryTest, KeysBehaveAsWindowsKeysDo) {
    std::vector<RegistryValue> values;
    EXPECT_EQ(m_registry.readValues(kKey, values), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_registry.setValue(kKey, RegistryValue::Text("a", "b")), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_registry.deleteKey(kKey), WIN_FILE_NOT_FOUND);

    ASSERT_EQ(m_registry.createKey(kKey), WIN_OK);
    ASSERT_EQ(m_registry.setValue(kKey, RegistryValue::Text("First", "1")), WIN_OK);
    ASSERT_EQ(m_registry.setValue(kKey, RegistryValue::Text("Second", "2")), WIN_OK);
    ASSERT_EQ(m_registry.createKey("software\\MICROSOFT\\windows\\CurrentVersion\\uninstall\\zil"),
              WIN_OK);
    ASSERT_EQ(m_registry.setValue(kKey, RegistryValue::Dword("FIRST", 7)), WIN_OK);
    ASSERT_EQ(m_registry.readValues("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zil",
                                    values),
              WIN_OK);
    EXPECT_EQ(values, (std::vector<RegistryValue>{RegistryValue::Dword("FIRST", 7),
                                                  RegistryValue::Text("Second", "2")}));

    EXPECT_EQ(m_registry.deleteValue(kKey, "second"), WIN_OK);
    EXPECT_EQ(m_registry.deleteValue(kKey, "second"), WIN_FILE_NOT_FOUND);
    ASSERT_EQ(m_registry.readValues(kKey, values), WIN_OK);
    EXPECT_EQ(values, std::vector<RegistryValue>{RegistryValue::Dword("FIRST", 7)});

    const String parent = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    EXPECT_EQ(m_registry.readValues(parent, values), WIN_OK);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(m_registry.deleteKey(parent), WIN_ACCESS_DENIED);
    // A sibling whose name starts like the key is no key below it.
    ASSERT_EQ(m_registry.createKey(String(kKey) + "2"), WIN_OK);
    EXPECT_EQ(m_registry.deleteKey(kKey), WIN_OK);
    EXPECT_EQ(m_registry.readValues(kKey, values), WIN_FILE_NOT_FOUND);
    EXPECT_EQ(m_registry.readValues(String(kKey) + "2", values), WIN_OK);
    EXPECT_EQ(m_registry.deleteKey(parent), WIN_ACCESS_DENIED);
}

// A tree goes whole, keys below below included, whoever made them; a sibling whose name starts
// like it, the key above and the rest of the file stay. The fault seam fails it as a deletion.
TEST_F(SimRegistryTest, ATreeGoesWithEveryKeyBelowItAndNothingElse) {
    const std::string key = kKey;
    for (const std::string& made : {key + "\\Replaced", key + "\\Inventory\\Deep", key + "2"}) {
        ASSERT_EQ(m_registry.createKey(made.c_str()), WIN_OK);
        ASSERT_EQ(m_registry.setValue(made.c_str(), RegistryValue::Text("v", made)), WIN_OK);
    }
    ASSERT_EQ(m_registry.setValue(kKey, RegistryValue::Text("DisplayName", "ZIL")), WIN_OK);
    std::vector<SimRegistry::Key> before = m_registry.keys();

    SimPlatform sim(test_support::VirtualClockMachine(m_folder.string()));
    sim.faults().fail(SimFaultKind::RegDelete, 1, WIN_ACCESS_DENIED);
    EXPECT_EQ(sim.registry().deleteTree(kKey), WIN_ACCESS_DENIED);
    EXPECT_EQ(m_registry.keys(), before);

    const String otherCase = "software\\microsoft\\windows\\currentversion\\uninstall\\zil";
    EXPECT_EQ(sim.registry().deleteTree(otherCase), WIN_OK);
    std::vector<std::string> left;
    for (const SimRegistry::Key& stays : m_registry.keys()) {
        left.push_back(stays.path);
    }
    const std::string parent = key.substr(0, key.rfind('\\'));
    EXPECT_EQ(left, (std::vector<std::string>{
                        "SOFTWARE", "SOFTWARE\\Microsoft", "SOFTWARE\\Microsoft\\Windows",
                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", parent, key + "2"}));
    EXPECT_EQ(m_registry.deleteTree(kKey), WIN_FILE_NOT_FOUND);
    EXPECT_NE(test_support::ReadHostFile(m_machine.journalPath())
                  .find("registry: delete-tree HKLM\\" + otherCase + " -> 0"),
              std::string::npos);
}

// A person reads the file: texts and numbers as they are, a line each, the key in brackets.
TEST_F(SimRegistryTest, TheFileReadsLikeAnExportedKey) {
    ASSERT_EQ(m_registry.createKey(kKey), WIN_OK);
    ASSERT_EQ(m_registry.setValue(kKey, RegistryValue::Text("DisplayName", "ZIL")), WIN_OK);
    ASSERT_EQ(m_registry.setValue(kKey, RegistryValue::Dword("NoModify", 1)), WIN_OK);
    std::string text = test_support::ReadHostFile(m_registry.path());
    EXPECT_NE(text.find(std::string("[HKLM\\") + kKey +
                        "]\n\"DisplayName\"=sz:\"ZIL\"\n"
                        "\"NoModify\"=dword:00000001\n"),
              std::string::npos)
        << text;
    EXPECT_NE(test_support::ReadHostFile(m_machine.journalPath())
                  .find(std::string("registry: set HKLM\\") + kKey + " NoModify -> 0"),
              std::string::npos);
}

}  // namespace
