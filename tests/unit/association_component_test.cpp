#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "file_association.h"
#include "file_association_component.h"
#include "item_store.h"
#include "open_command.h"
#include "prog_id.h"
#include "registration.h"
#include "remove_associations.h"
#include "scoped_handle.h"
#include "scratch_hive.h"

namespace {

// --- ProgID and command text -----------------------------------------------------------------

TEST(ProgIdTest, IdentifierFollowedByTheExtension) {
  EXPECT_EQ(ProgIdFor(L"Quenvo2021", L".docx"), L"Quenvo2021.docx");
  EXPECT_EQ(ProgIdFor(L"Quenvo2021", L".tar.gz"), L"Quenvo2021.tar.gz");
}

TEST(ProgIdTest, ExtensionsThatCouldNameAnotherKeyAreRefused) {
  const wchar_t* bad[] = {nullptr, L"",     L".",    L"docx", L".a\\b", L".\\..\\Software",
                          L".a b", L".a\"", L".a/b", L".\t",  L".x\x7f"};
  for (const wchar_t* extension : bad) {
    EXPECT_FALSE(IsUsableExtension(extension)) << (extension ? extension : L"(null)");
    EXPECT_EQ(ProgIdFor(L"Quenvo2021", extension), L"");
  }
  EXPECT_TRUE(IsUsableExtension((L"." + std::wstring(63, L'x')).c_str()));
  EXPECT_FALSE(IsUsableExtension((L"." + std::wstring(64, L'x')).c_str()));
}

TEST(ProgIdTest, IdentifiersMustNameAKey) {
  const std::wstring overlong(65, L'q');
  const wchar_t* bad[] = {nullptr, L"", L"a\\b", overlong.c_str()};
  for (const wchar_t* identifier : bad) {
    EXPECT_FALSE(IsUsableIdentifier(identifier)) << (identifier ? identifier : L"(null)");
  }
  EXPECT_TRUE(IsUsableIdentifier(L"Quenvo2021"));
  EXPECT_EQ(ProgIdFor(L"", L".doc"), L"");
}

TEST(OpenCommandTest, BothPathsAreQuoted) {
  EXPECT_EQ(OpenCommandFor(L"C:\\Program Files\\q s\\Quenvodef.exe"),
            L"\"C:\\Program Files\\q s\\Quenvodef.exe\" \"%1\"");
  EXPECT_EQ(OpenCommandFor(L""), L"");
  EXPECT_EQ(OpenCommandFor(L"C:\\a\"b.exe"), L"");  // a quote would end the program name early
}

TEST(OpenCommandTest, TheHandlerIsReadBackFromTheCommand) {
  const std::wstring handler = L"C:\\Program Files\\qu\u00e9nvo suite\\Quenvodef.exe";
  EXPECT_EQ(HandlerOfCommand(OpenCommandFor(handler)), handler);
  EXPECT_EQ(HandlerOfCommand(L"  \"C:\\a b\\x.exe\"\"%1\""), L"C:\\a b\\x.exe");
  EXPECT_EQ(HandlerOfCommand(L"C:\\tools\\x.exe %1"), L"C:\\tools\\x.exe");
  EXPECT_EQ(HandlerOfCommand(L"C:\\tools\\x.exe"), L"C:\\tools\\x.exe");
  EXPECT_EQ(HandlerOfCommand(L"\t"), L"");
  EXPECT_EQ(HandlerOfCommand(L"\"C:\\never closed.exe %1"), L"");
}

// --- the component against a classes key of its own -------------------------------------------

constexpr wchar_t kClasses[] = L"Software\\Classes";
constexpr wchar_t kFileExts[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.docx";
const std::wstring kUserChoice = kFileExts + std::wstring(L"\\UserChoice");
const std::wstring kUserChoiceLatest = kFileExts + std::wstring(L"\\UserChoiceLatest\\ProgId");

std::wstring SelfPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

struct Value {
  bool found = false;
  DWORD type = 0;
  std::vector<BYTE> data;
  std::wstring Text() const { return {reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2}; }
};

Value Read(const std::wstring& key, const wchar_t* name) {
  Value v;
  DWORD size = 0;
  const auto get = [&](void* data) {
    return RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &v.type, data, &size) ==
           ERROR_SUCCESS;
  };
  if (!get(nullptr)) return v;  // the size first
  v.data.resize(size);
  v.found = get(v.data.data());
  v.data.resize(size);
  return v;
}

bool KeyExists(const std::wstring& key) {
  quenvo::ScopedKey opened;
  return RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.Receive()) == ERROR_SUCCESS;
}

std::wstring SzWithNul(const std::wstring& text) {
  return text + L'\0';
}

void PutDefault(const std::wstring& key, const std::wstring& text, DWORD type = REG_SZ, const wchar_t* name = nullptr) {
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}

class ComponentTest : public ScratchHiveTest {
 protected:
  void SetUp() override {
    ScratchHiveTest::SetUp();  // and HKEY_LOCAL_MACHINE is its "machine" key
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"machine", machine_.Receive()), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.Get()), ERROR_SUCCESS);
    std::replace(launcher_.begin(), launcher_.end(), L'/', L'\\');
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, /*restore*/ nullptr);
    ScratchHiveTest::TearDown();
  }
  quenvo::ScopedKey machine_;
  FileAssociationComponent component_{L"Quenvo2021"};
  const std::wstring classes_ = kClasses;
  const std::wstring handler_ = SelfPath();
  std::wstring launcher_ = QUENVO_BIN_DIR L"\\Quenvodef.exe";  // the built one; SetUp turns the slashes
  const std::wstring icon_ = L"C:\\Program Files\\quenvo suite\\icon\\doc.ico";
  int Associate(const wchar_t* extension, const std::wstring& handler) {
    std::wstring icon = icon_, target = handler;  // gone after the call, as in the registrar
    const FileAssociationItem item = {extension, icon.c_str(), target.c_str(), nullptr};
    return component_.Associate(&item);
  }
};

TEST_F(ComponentTest, AssociateWritesTheProgIdAndPointsTheExtensionAtIt) {
  EXPECT_EQ(component_.IsAssociated(L".docx"), 0);
  EXPECT_NE(Associate(L".docx", handler_), 0);

  const Value extension = Read(classes_ + L"\\.docx", nullptr);
  EXPECT_EQ(extension.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(extension.Text(), SzWithNul(L"Quenvo2021.docx"));
  const Value openWith = Read(classes_ + L"\\.docx\\OpenWithProgids", L"Quenvo2021.docx");
  EXPECT_TRUE(openWith.found);
  EXPECT_EQ(openWith.type, static_cast<DWORD>(REG_NONE));
  EXPECT_TRUE(openWith.data.empty());
  EXPECT_EQ(Read(classes_ + L"\\Quenvo2021.docx\\DefaultIcon", nullptr).Text(), SzWithNul(icon_));
  const Value command = Read(classes_ + L"\\Quenvo2021.docx\\shell\\open\\command", nullptr);
  EXPECT_EQ(command.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(command.Text(), SzWithNul(L"\"" + handler_ + L"\" \"%1\""));

  EXPECT_NE(component_.IsAssociated(L".docx"), 0);
  EXPECT_EQ(component_.IsAssociated(L".doc"), 0);  // only the type that was associated
  // Every item of the registration counts: an earlier version's literal type name alone, or no
  // RegisteredApplications value, and it is redone.
  RegDeleteKeyValueW(HKEY_CURRENT_USER, (classes_ + L"\\Quenvo2021.docx").c_str(), L"FriendlyTypeName");
  EXPECT_EQ(component_.IsAssociated(L".docx"), 0);
  ASSERT_NE(Associate(L".docx", handler_), 0);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\RegisteredApplications", L"quenvo");
  EXPECT_EQ(component_.IsAssociated(L".docx"), 0);
}

// The user's choice is Windows' alone: never changed, and it decides what IsAssociated says.
// Windows 11 24H2's UserChoiceLatest wins over a UserChoice that it no longer updates; a choice
// made by browsing to the launcher names its Applications entry.
TEST_F(ComponentTest, TheUsersChoiceIsKeptAndDecides) {
  struct {
    const wchar_t* latest;  // UserChoiceLatest\ProgId's ProgId, or no key
    const wchar_t* choice;  // UserChoice's ProgId, or no key
    int associated;
  } const choices[] = {
      {nullptr, L"Other.Doc", 0},
      {nullptr, L"Quenvo2021.docx", 1},
      {L"Other.Doc", L"Quenvo2021.docx", 0},
      {L"Quenvo2021.docx", L"Other.Doc", 1},
      {L"", L"Quenvo2021.docx", 1},  // an empty ProgId is no choice
      {nullptr, L"Applications\\Quenvodef.exe", 1},
      {L"applications\\QUENVODEF.EXE", L"Other.Doc", 1},
      {nullptr, L"Applications\\notepad.exe", 0},
      {L"AppXd4nrz8ff68srnhf9t5a8sbjyar1cr723", nullptr, 0},
  };
  const auto choiceKeys = [] {
    return std::tuple(KeyExists(kUserChoice), KeyExists(kUserChoiceLatest), Read(kUserChoice, L"ProgId").data,
                      Read(kUserChoice, L"Hash").data, Read(kUserChoiceLatest, L"ProgId").data);
  };
  for (const auto& row : choices) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kFileExts);
    if (row.latest) PutDefault(kUserChoiceLatest, row.latest, REG_SZ, L"ProgId");
    if (row.choice) PutDefault(kUserChoice, row.choice, REG_SZ, L"ProgId");
    if (row.choice) PutDefault(kUserChoice, L"h4sh=", REG_SZ, L"Hash");
    const auto before = choiceKeys();
    for (int run = 0; run < 2; ++run) Associate(L".docx", launcher_);
    EXPECT_EQ(component_.IsAssociated(L".docx"), row.associated) << row.latest << L" " << row.choice;
    EXPECT_TRUE(choiceKeys() == before) << row.latest << L" " << row.choice;
    EXPECT_TRUE(Read(classes_ + L"\\.docx\\OpenWithProgids", L"Quenvo2021.docx").found);
    EXPECT_FALSE(Read(classes_ + L"\\.docx", nullptr).found) << row.latest;  // no default of ours over their choice
  }
  // The Applications entry counts while the one Windows reads (the user's before the machine's)
  // starts our launcher: not once the user's own names another copy.
  for (const RegistryItem& item : RegistrationItems({L".docx", L"Quenvo2021.docx", icon_, launcher_, false})) {
    ASSERT_TRUE(item.userOnly || Write(HKEY_LOCAL_MACHINE, item));
  }
  ASSERT_NE(Associate(L".docx", launcher_), 0);  // the user's choice above is "AppX...", no longer ours
  PutDefault(kUserChoiceLatest, L"Applications\\Quenvodef.exe", REG_SZ, L"ProgId");
  EXPECT_NE(component_.IsAssociated(L".docx"), 0);
  PutDefault(classes_ + L"\\Applications\\Quenvodef.exe\\shell\\open\\command", L"\"C:\\copy\\Quenvodef.exe\" \"%1\"");
  EXPECT_EQ(component_.IsAssociated(L".docx"), 0);
}

// Registered machine-wide for this launcher (as the installer does), the user gets only values
// that name the ProgID, and an earlier version's per-user ProgID goes; they stay while the
// machine's ProgID does.
TEST_F(ComponentTest, AMachineWideRegistrationLeavesTheUserOnlyPointers) {
  for (const RegistryItem& item : RegistrationItems({L".docx", L"Quenvo2021.docx", icon_, handler_, false})) {
    ASSERT_TRUE(item.userOnly || Write(HKEY_LOCAL_MACHINE, item));
  }
  ASSERT_NE(Associate(L".docx", handler_), 0);
  EXPECT_NE(component_.IsAssociated(L".docx"), 0);
  EXPECT_FALSE(KeyExists(classes_ + L"\\Quenvo2021.docx"));
  PutDefault(classes_ + L"\\Quenvo2021.docx\\shell\\open\\command", L"\"" + handler_ + L"\" \"%1\"");
  EXPECT_EQ(component_.IsAssociated(L".docx"), 0);
  ASSERT_NE(Associate(L".docx", handler_), 0);
  EXPECT_FALSE(KeyExists(classes_ + L"\\Quenvo2021.docx"));

  RemoveAssociations(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, L"Quenvo2021", handler_);
  EXPECT_EQ(Read(classes_ + L"\\.docx", nullptr).Text(), SzWithNul(L"Quenvo2021.docx"));
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software");  // the package's removal
  RemoveAssociations(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, L"Quenvo2021", handler_);
  EXPECT_FALSE(KeyExists(classes_ + L"\\.docx"));
}

TEST_F(ComponentTest, AnotherProgramsDefaultOrAMissingHandlerIsNotAssociated) {
  ASSERT_NE(Associate(L".xls", handler_), 0);
  // Whether .xls is ours once `key`, below the classes, has `text` as its default.
  const auto associatedWith = [&](const wchar_t* key, const std::wstring& text, DWORD type = REG_SZ) {
    PutDefault(classes_ + key, text, type);
    return component_.IsAssociated(L".xls") != 0;
  };
  const wchar_t* command = L"\\Quenvo2021.xls\\shell\\open\\command";

  EXPECT_FALSE(associatedWith(L"\\.xls", L"Other.Sheet"));
  EXPECT_TRUE(associatedWith(L"\\.xls", L"QUENVO2021.XLS"));  // key names compare without case
  EXPECT_FALSE(associatedWith(command, L"\"C:\\gone\\Quenvodef.exe\" \"%1\""));
  EXPECT_FALSE(associatedWith(command, L"\"C:\\windows\" \"%1\""));  // a folder

  // Associating again repairs the command.
  EXPECT_FALSE(associatedWith(command, L""));
  EXPECT_NE(Associate(L".xls", handler_), 0);
  EXPECT_NE(component_.IsAssociated(L".xls"), 0);
}

TEST_F(ComponentTest, UnusableRecordsWriteNothing) {
  EXPECT_EQ(Associate(L".\\..\\Escape", handler_), 0);
  EXPECT_EQ(Associate(L"", handler_), 0);
  EXPECT_EQ(Associate(nullptr, handler_), 0);
  EXPECT_EQ(Associate(L".doc", L""), 0);
  EXPECT_EQ(Associate(L".doc", L"C:\\a\"b.exe"), 0);
  EXPECT_EQ(component_.Associate(nullptr), 0);
  const FileAssociationItem noPaths = {L".doc", nullptr, nullptr, nullptr};
  EXPECT_EQ(component_.Associate(&noPaths), 0);
  EXPECT_EQ(Associate(L".doc", L"C:\\folder\\"), 0);  // no file name for the Applications entry
  EXPECT_FALSE(KeyExists(classes_));
  EXPECT_EQ(component_.IsAssociated(nullptr), 0);
  EXPECT_EQ(component_.IsAssociated(L".\\..\\Escape"), 0);
}

TEST_F(ComponentTest, IdentifierAndProgIdSlots) {
  EXPECT_STREQ(component_.Identifier(), L"Quenvo2021");
  wchar_t buffer[16];
  EXPECT_EQ(component_.ProgIdFor(L".pptx", buffer, 16), 15);
  EXPECT_STREQ(buffer, L"Quenvo2021.pptx");
  wchar_t small[15] = L"untouched";
  EXPECT_EQ(component_.ProgIdFor(L".pptx", small, 15), 15);  // no room for the NUL
  EXPECT_STREQ(small, L"untouched");
  EXPECT_EQ(component_.ProgIdFor(L"pptx", buffer, 16), 0);
  EXPECT_EQ(component_.ProgIdFor(L".pptx", nullptr, 0), 15);
}

TEST_F(ComponentTest, StoreReadsOnlyTextDefaults) {
  RegSetKeyValueW(HKEY_CURRENT_USER, (classes_ + L"\\.bin").c_str(), nullptr, REG_BINARY, "ab", 2);
  // Text stored without its NUL still reads whole.
  RegSetKeyValueW(HKEY_CURRENT_USER, (classes_ + L"\\.raw").c_str(), nullptr, REG_SZ, L"abc", 6);
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, classes_ + L"\\.bin"), L"");
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, classes_ + L"\\.raw"), L"abc");
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, classes_ + L"\\.missing"), L"");
}

TEST_F(ComponentTest, RemovalTakesBackOnlyWhatNamesOurHandler) {
  ASSERT_NE(Associate(L".docx", handler_), 0);
  ASSERT_NE(Associate(L".xls", handler_), 0);
  ASSERT_NE(Associate(L".xlsx", handler_), 0);
  ASSERT_NE(Associate(L".ppt", L"C:\\another installation\\Quenvodef.exe"), 0);
  PutDefault(classes_ + L"\\.xls", L"Other.Sheet");  // since then, the user chose another program
  RegSetKeyValueW(HKEY_CURRENT_USER, (classes_ + L"\\.docx\\OpenWithProgids").c_str(), L"Other.Doc", REG_NONE, nullptr,
                  0);
  PutDefault(classes_ + L"\\Other.Doc\\shell\\open\\command", L"\"" + handler_ + L"\" \"%1\"");

  EXPECT_EQ(RemoveAssociations(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, L"Quenvo2021", handler_), 3);
  EXPECT_EQ(RemoveAssociations(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, L"Quenvo2021", handler_), 0);

  for (const wchar_t* extension : {L".docx", L".xls", L".xlsx"}) {
    EXPECT_FALSE(KeyExists(classes_ + L"\\Quenvo2021" + extension)) << extension;
  }
  EXPECT_FALSE(KeyExists(classes_ + L"\\.xlsx"));  // nothing else was in it
  EXPECT_FALSE(Read(classes_ + L"\\.docx", nullptr).found);
  EXPECT_FALSE(Read(classes_ + L"\\.docx\\OpenWithProgids", L"Quenvo2021.docx").found);
  EXPECT_TRUE(Read(classes_ + L"\\.docx\\OpenWithProgids", L"Other.Doc").found);
  EXPECT_TRUE(KeyExists(classes_ + L"\\Other.Doc\\shell\\open\\command"));
  EXPECT_EQ(Read(classes_ + L"\\.xls", nullptr).Text(), SzWithNul(L"Other.Sheet"));
  EXPECT_FALSE(KeyExists(classes_ + L"\\.xls\\OpenWithProgids"));
  // Another installation's association stays whole.
  EXPECT_EQ(Read(classes_ + L"\\.ppt", nullptr).Text(), SzWithNul(L"Quenvo2021.ppt"));
  EXPECT_TRUE(Read(classes_ + L"\\.ppt\\OpenWithProgids", L"Quenvo2021.ppt").found);
  EXPECT_TRUE(KeyExists(classes_ + L"\\Quenvo2021.ppt\\DefaultIcon"));
  // This launcher's own entry goes, with the RegisteredApplications value naming it.
  ASSERT_NE(Associate(L".csv", handler_), 0);
  RemoveAssociations(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, L"Quenvo2021", handler_);
  EXPECT_FALSE(KeyExists(ApplicationKeyOf(handler_)));
  EXPECT_FALSE(KeyExists(L"Software\\RegisteredApplications"));
}

// --- the built FileAssociation.dll, called the way the registrar calls it -----------------------

class ComponentDllTest : public ScratchHiveTest {};

TEST_F(ComponentDllTest, ExportAndSlotsMatchTheRegistrarsView) {
  const HMODULE dll = LoadLibraryW(QUENVO_BIN_DIR L"/FileAssociation.dll");
  ASSERT_NE(dll, nullptr);
  const auto create = reinterpret_cast<CreateFileAssociationFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, kCreateFileAssociationExport)));
  ASSERT_NE(create, nullptr);
  EXPECT_NE(GetProcAddress(dll, "RemoveFileAssociations"), nullptr);  // for rundll32, undecorated
  EXPECT_EQ(create(nullptr), nullptr);
  EXPECT_EQ(create(L""), nullptr);

  wchar_t identifier[] = L"Quenvo2021";
  IFileAssociation* association = create(identifier);
  ASSERT_NE(association, nullptr);
  identifier[0] = L'X';  // the component keeps its own copy
  EXPECT_STREQ(association->Identifier(), L"Quenvo2021");

  const std::wstring classes = L"Software\\Classes\\";
  EXPECT_EQ(association->IsAssociated(L".quenvounit"), 0);
  const std::wstring handler = SelfPath(), icon = L"C:\\i\\doc.ico";
  const FileAssociationItem item = {L".quenvounit", icon.c_str(), handler.c_str(), nullptr};
  association->Associate(&item);
  EXPECT_NE(association->IsAssociated(L".quenvounit"), 0);
  EXPECT_EQ(Read(classes + L".quenvounit", nullptr).Text(), SzWithNul(L"Quenvo2021.quenvounit"));
}

}  // namespace
