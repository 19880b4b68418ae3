#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "file_association.h"
#include "file_association_component.h"
#include "item_store.h"
#include "open_command.h"
#include "prog_id.h"
#include "registration.h"
#include "remove_associations.h"
#include "running_program.h"
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

constexpr wchar_t kTestRoot[] = L"Software\\quenvo-test";
// The user's and the machine's roots, side by side in the scratch hive.
constexpr wchar_t kUser[] = L"Software\\quenvo-test\\user";
constexpr wchar_t kMachine[] = L"Software\\quenvo-test\\machine";
constexpr wchar_t kUserChoice[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.docx\\UserChoice";

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

void PutText(const std::wstring& key, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}

void PutDefault(const std::wstring& key, const std::wstring& text, DWORD type = REG_SZ) {
  PutText(key, nullptr, text, type);
}

class ComponentTest : public ScratchHiveTest {
 protected:
  void SetUp() override {
    ScratchHiveTest::SetUp();
    for (auto [root, name] : {std::pair{&user_, kUser}, std::pair{&machine_, kMachine}}) {
      ASSERT_EQ(
          RegCreateKeyExW(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root->Receive(), nullptr),
          ERROR_SUCCESS);
    }
    component_.emplace(L"Quenvo2021", user_.Get(), machine_.Get());
  }
  void TearDown() override {
    component_.reset();
    user_.Close();
    machine_.Close();
    ScratchHiveTest::TearDown();
  }
  int Associate(const wchar_t* extension, const std::wstring& handler) {
    std::wstring icon = icon_, target = handler;  // gone after the call, as in the registrar
    const FileAssociationItem item = {extension, icon.c_str(), target.c_str(), nullptr};
    return component_->Associate(&item);
  }
  int IsAssociated(const wchar_t* extension) { return component_->IsAssociated(extension); }
  // The installer's machine-wide registration of the type for handler.
  void RegisterMachineWide(const wchar_t* extension, const std::wstring& handler) {
    for (const RegistryItem& item :
         RegistrationItems({extension, std::wstring(L"Quenvo2021") + extension, icon_, handler, false})) {
      if (!item.userOnly) {
        ASSERT_TRUE(Write(machine_.Get(), item));
      }
    }
  }

  quenvo::ScopedKey user_, machine_;
  std::optional<FileAssociationComponent> component_;
  const std::wstring classes_ = std::wstring(kUser) + L"\\Software\\Classes";
  const std::wstring machineClasses_ = std::wstring(kMachine) + L"\\Software\\Classes";
  const std::wstring handler_ = SelfPath();
  const std::wstring icon_ = L"C:\\Program Files\\quenvo suite\\icon\\doc.ico";
};

TEST_F(ComponentTest, AssociateOffersTheTypeAndPointsTheExtensionAtIt) {
  EXPECT_EQ(IsAssociated(L".docx"), 0);
  EXPECT_NE(Associate(L".docx", handler_), 0);

  const std::wstring command = L"\"" + handler_ + L"\" \"%1\"";
  const std::wstring application = classes_ + L"\\Applications\\" + handler_.substr(handler_.rfind(L'\\') + 1);
  const std::wstring capabilities = application.substr(std::wstring(kUser).size() + 1) + L"\\Capabilities";
  const struct {
    std::wstring key;
    const wchar_t* name;
    DWORD type;
    std::wstring text;
  } expected[] = {
      {classes_ + L"\\.docx", nullptr, REG_SZ, L"Quenvo2021.docx"},
      {classes_ + L"\\.docx\\OpenWithProgids", L"Quenvo2021.docx", REG_NONE, L""},
      {classes_ + L"\\Quenvo2021.docx", nullptr, REG_SZ, L"quenvo document"},
      {classes_ + L"\\Quenvo2021.docx\\DefaultIcon", nullptr, REG_SZ, icon_},
      {classes_ + L"\\Quenvo2021.docx\\shell\\open\\command", nullptr, REG_SZ, command},
      {application, L"FriendlyAppName", REG_SZ, L"quenvo"},
      {application + L"\\shell\\open\\command", nullptr, REG_SZ, command},
      {application + L"\\SupportedTypes", L".docx", REG_SZ, L""},
      {application + L"\\Capabilities", L"ApplicationName", REG_SZ, L"quenvo"},
      {application + L"\\Capabilities", L"ApplicationIcon", REG_SZ, FolderOf(handler_) + L"icon\\doc.ico"},
      {application + L"\\Capabilities\\FileAssociations", L".docx", REG_SZ, L"Quenvo2021.docx"},
      {std::wstring(kUser) + L"\\Software\\RegisteredApplications", L"quenvo", REG_SZ, capabilities},
  };
  for (const auto& e : expected) {
    const Value value = Read(e.key, e.name);
    EXPECT_EQ(value.type, e.type) << e.key << L" " << (e.name ? e.name : L"");
    EXPECT_EQ(value.Text(), e.type == REG_NONE ? L"" : SzWithNul(e.text)) << e.key;
  }
  EXPECT_FALSE(Read(application + L"\\Capabilities", L"ApplicationDescription").Text().empty());
  EXPECT_FALSE(KeyExists(machineClasses_));

  EXPECT_NE(IsAssociated(L".docx"), 0);
  EXPECT_EQ(IsAssociated(L".doc"), 0);  // only the type that was associated
  // Every item counts: without the RegisteredApplications value, the type is offered again.
  RegDeleteKeyValueW(user_.Get(), L"Software\\RegisteredApplications", L"quenvo");
  EXPECT_EQ(IsAssociated(L".docx"), 0);
}

TEST_F(ComponentTest, AnotherProgramsDefaultOrAMissingHandlerIsNotAssociated) {
  ASSERT_NE(Associate(L".xls", handler_), 0);
  // Whether .xls is ours once `key`, below the classes, has `text` as its default.
  const auto associatedWith = [&](const wchar_t* key, const std::wstring& text, DWORD type = REG_SZ) {
    PutDefault(classes_ + key, text, type);
    return IsAssociated(L".xls") != 0;
  };
  const wchar_t* command = L"\\Quenvo2021.xls\\shell\\open\\command";

  EXPECT_FALSE(associatedWith(L"\\.xls", L"Other.Sheet"));
  EXPECT_TRUE(associatedWith(L"\\.xls", L"QUENVO2021.XLS"));  // key names compare without case
  EXPECT_FALSE(associatedWith(command, L"\"C:\\gone\\Quenvodef.exe\" \"%1\""));
  EXPECT_FALSE(associatedWith(command, L"\"C:\\windows\" \"%1\""));  // a folder

  // Associating again repairs the command.
  EXPECT_FALSE(associatedWith(command, L""));
  EXPECT_NE(Associate(L".xls", handler_), 0);
  EXPECT_NE(IsAssociated(L".xls"), 0);
}

// The user's choice is Windows' alone: it is never changed, and it decides what IsAssociated says.
TEST_F(ComponentTest, TheUsersChoiceIsKeptAndDecides) {
  const std::wstring choice = std::wstring(kUser) + kUserChoice;
  for (const auto& [progId, associated] : {std::pair{L"Other.Doc", false}, std::pair{L"Quenvo2021.docx", true}}) {
    SCOPED_TRACE(progId);
    RegDeleteTreeW(user_.Get(), L"Software");
    PutText(choice, L"ProgId", progId);
    PutText(choice, L"Hash", L"h4sh=");
    for (int run = 0; run < 2; ++run) {
      if (IsAssociated(L".docx") == 0) {
        EXPECT_NE(Associate(L".docx", handler_), 0);
      }
    }
    EXPECT_EQ(IsAssociated(L".docx") != 0, associated);
    EXPECT_EQ(Read(choice, L"ProgId").Text(), SzWithNul(progId));
    EXPECT_EQ(Read(choice, L"Hash").Text(), SzWithNul(L"h4sh="));
    EXPECT_TRUE(Read(classes_ + L"\\.docx\\OpenWithProgids", L"Quenvo2021.docx").found);
    EXPECT_FALSE(Read(classes_ + L"\\.docx", nullptr).found);  // the user chose: no default of ours
  }
}

TEST_F(ComponentTest, AMachineWideRegistrationOfTheLauncherLeavesTheUserOnlyPointers) {
  RegisterMachineWide(L".xls", L"C:\\another installation\\Quenvodef.exe");
  RegisterMachineWide(L".docx", handler_);  // the machine's RegisteredApplications value names this one
  // An earlier version's per-user copy of the ProgID would outlive the package's removal.
  PutDefault(classes_ + L"\\.docx", L"Quenvo2021.docx");
  PutDefault(classes_ + L"\\Quenvo2021.docx\\shell\\open\\command", L"\"" + handler_ + L"\" \"%1\"");
  EXPECT_EQ(IsAssociated(L".docx"), 0);

  ASSERT_NE(Associate(L".docx", handler_), 0);
  ASSERT_NE(Associate(L".xls", handler_), 0);
  EXPECT_NE(IsAssociated(L".docx"), 0);
  EXPECT_NE(IsAssociated(L".xls"), 0);
  EXPECT_FALSE(KeyExists(classes_ + L"\\Quenvo2021.docx"));
  EXPECT_EQ(Read(classes_ + L"\\.docx", nullptr).Text(), SzWithNul(L"Quenvo2021.docx"));
  EXPECT_TRUE(Read(classes_ + L"\\.docx\\OpenWithProgids", L"Quenvo2021.docx").found);
  // Registered machine-wide for another launcher: this one gets the whole registration per user.
  EXPECT_TRUE(KeyExists(classes_ + L"\\Quenvo2021.xls\\shell\\open\\command"));
}

TEST_F(ComponentTest, UnusableRecordsWriteNothing) {
  EXPECT_EQ(Associate(L".\\..\\Escape", handler_), 0);
  EXPECT_EQ(Associate(L"", handler_), 0);
  EXPECT_EQ(Associate(nullptr, handler_), 0);
  EXPECT_EQ(Associate(L".doc", L""), 0);
  EXPECT_EQ(Associate(L".doc", L"C:\\a\"b.exe"), 0);
  EXPECT_EQ(Associate(L".doc", L"C:\\folder\\"), 0);  // no file name for the Applications entry
  EXPECT_EQ(component_->Associate(nullptr), 0);
  const FileAssociationItem noPaths = {L".doc", nullptr, nullptr, nullptr};
  EXPECT_EQ(component_->Associate(&noPaths), 0);
  EXPECT_FALSE(KeyExists(classes_));
  EXPECT_EQ(IsAssociated(nullptr), 0);
  EXPECT_EQ(IsAssociated(L".\\..\\Escape"), 0);
}

TEST_F(ComponentTest, IdentifierAndProgIdSlots) {
  EXPECT_STREQ(component_->Identifier(), L"Quenvo2021");
  wchar_t buffer[16];
  EXPECT_EQ(component_->ProgIdFor(L".pptx", buffer, 16), 15);
  EXPECT_STREQ(buffer, L"Quenvo2021.pptx");
  wchar_t small[15] = L"untouched";
  EXPECT_EQ(component_->ProgIdFor(L".pptx", small, 15), 15);  // no room for the NUL
  EXPECT_STREQ(small, L"untouched");
  EXPECT_EQ(component_->ProgIdFor(L"pptx", buffer, 16), 0);
  EXPECT_EQ(component_->ProgIdFor(L".pptx", nullptr, 0), 15);
}

TEST_F(ComponentTest, StoreReadsOnlyText) {
  RegSetKeyValueW(HKEY_CURRENT_USER, (classes_ + L"\\.bin").c_str(), nullptr, REG_BINARY, "ab", 2);
  // Text stored without its NUL still reads whole.
  RegSetKeyValueW(HKEY_CURRENT_USER, (classes_ + L"\\.raw").c_str(), nullptr, REG_SZ, L"abc", 6);
  PutDefault(classes_ + L"\\.exp", L"%SystemRoot%\\x", REG_EXPAND_SZ);
  EXPECT_EQ(ReadText(user_.Get(), L"Software\\Classes\\.bin"), L"");
  EXPECT_EQ(ReadText(user_.Get(), L"Software\\Classes\\.raw"), L"abc");
  EXPECT_EQ(ReadText(user_.Get(), L"Software\\Classes\\.missing"), L"");
  EXPECT_NE(ReadText(user_.Get(), L"Software\\Classes\\.exp").find(L":\\"), std::wstring::npos);
}

TEST_F(ComponentTest, RemovalTakesBackOnlyWhatNamesOurHandler) {
  ASSERT_NE(Associate(L".docx", handler_), 0);
  ASSERT_NE(Associate(L".xls", handler_), 0);
  ASSERT_NE(Associate(L".xlsx", handler_), 0);
  ASSERT_NE(Associate(L".ppt", L"C:\\another installation\\Quenvodef.exe"), 0);
  PutDefault(classes_ + L"\\.xls", L"Other.Sheet");  // since then, the user chose another program
  PutText(classes_ + L"\\.docx\\OpenWithProgids", L"Other.Doc", L"", REG_NONE);
  PutDefault(classes_ + L"\\Other.Doc\\shell\\open\\command", L"\"" + handler_ + L"\" \"%1\"");

  EXPECT_EQ(RemoveAssociations(user_.Get(), machine_.Get(), L"Quenvo2021", handler_), 3);
  EXPECT_EQ(RemoveAssociations(user_.Get(), machine_.Get(), L"Quenvo2021", handler_), 0);

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
  // The other installation's entries stay whole: its ProgID, and the Applications entry and
  // RegisteredApplications value that it wrote last.
  EXPECT_EQ(Read(classes_ + L"\\.ppt", nullptr).Text(), SzWithNul(L"Quenvo2021.ppt"));
  EXPECT_TRUE(Read(classes_ + L"\\.ppt\\OpenWithProgids", L"Quenvo2021.ppt").found);
  EXPECT_TRUE(KeyExists(classes_ + L"\\Quenvo2021.ppt\\DefaultIcon"));
  EXPECT_TRUE(Read(std::wstring(kUser) + L"\\Software\\RegisteredApplications", L"quenvo").found);

  // The launcher's own entry goes, and with it the RegisteredApplications value.
  ASSERT_NE(Associate(L".csv", handler_), 0);
  RemoveAssociations(user_.Get(), machine_.Get(), L"Quenvo2021", handler_);
  EXPECT_FALSE(KeyExists(std::wstring(kUser) + L"\\" + ApplicationKeyOf(handler_)));
  EXPECT_FALSE(KeyExists(std::wstring(kUser) + L"\\Software\\RegisteredApplications"));
}

// The user's values name only the ProgID while the package registers it machine-wide; once the
// package's removal took that away, they name nothing and go.
TEST_F(ComponentTest, PointersToAMachineWideProgIdGoOnlyWithIt) {
  RegisterMachineWide(L".docx", handler_);
  ASSERT_NE(Associate(L".docx", handler_), 0);
  RemoveAssociations(user_.Get(), machine_.Get(), L"Quenvo2021", handler_);
  EXPECT_EQ(Read(classes_ + L"\\.docx", nullptr).Text(), SzWithNul(L"Quenvo2021.docx"));
  EXPECT_TRUE(Read(classes_ + L"\\.docx\\OpenWithProgids", L"Quenvo2021.docx").found);

  RegDeleteTreeW(machine_.Get(), L"Software");
  RemoveAssociations(user_.Get(), machine_.Get(), L"Quenvo2021", handler_);
  EXPECT_FALSE(KeyExists(classes_ + L"\\.docx"));
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
