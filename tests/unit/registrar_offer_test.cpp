#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "client_profile.h"
#include "file_types.h"
#include "register_associations.h"

// The program's global profile is not built here.
ClientProfile g_profile(ProfileScope::kCompanion);

namespace {

struct Offered {
  const wchar_t* extension;  // the pointer, to check it is the table's
  std::wstring icon;
  std::wstring handler;
  void* reserved;
};

// Answers IsAssociated from a set of extensions and keeps copies of what Associate gets.
class FakeAssociation final : public IFileAssociation {
 public:
  explicit FakeAssociation(std::set<std::wstring> associated, int yes = 1)
      : associated_(std::move(associated)), yes_(yes) {}
  const wchar_t* Identifier() override {
    ++reservedCalls;
    return L"";
  }
  int ProgIdFor(const wchar_t*, wchar_t*, int) override {
    ++reservedCalls;
    return 0;
  }
  int IsAssociated(const wchar_t* extension) override {
    asked.push_back(extension);
    return associated_.count(extension) ? yes_ : 0;
  }
  int Associate(const FileAssociationItem* item) override {
    offered.push_back({item->extension, item->iconPath, item->handlerPath, item->reserved});
    return 0;  // a failure changes nothing for the caller
  }

  std::vector<std::wstring> asked;
  std::vector<Offered> offered;
  int reservedCalls = 0;

 private:
  std::set<std::wstring> associated_;
  int yes_;
};

int g_notifications = 0;
void CountNotification() {
  ++g_notifications;
}

const std::vector<std::wstring> kAllExtensions = {L".ppt", L".pptx", L".doc", L".docx", L".xls", L".xlsx", L".csv"};
const std::wstring kFolder = L"C:\\Program Files\\quenvo\\";

class OfferTest : public ::testing::Test {
 protected:
  void SetUp() override { g_notifications = 0; }
  static std::vector<std::wstring> OfferedExtensions(const FakeAssociation& fake) {
    std::vector<std::wstring> out;
    for (const Offered& o : fake.offered) out.push_back(o.extension);
    return out;
  }
};

TEST_F(OfferTest, EveryUnassociatedTypeIsOfferedInTableOrderWithItsPaths) {
  FakeAssociation fake({});
  OfferFileTypes(&fake, kFolder, CountNotification);

  EXPECT_EQ(fake.asked, kAllExtensions);
  ASSERT_EQ(OfferedExtensions(fake), kAllExtensions);
  const wchar_t* icons[] = {L"ppt.ico", L"ppt.ico", L"doc.ico", L"doc.ico", L"xls.ico", L"xls.ico", L"xls.ico"};
  for (size_t i = 0; i < kFileTypeCount; ++i) {
    SCOPED_TRACE(kAllExtensions[i]);
    EXPECT_EQ(fake.offered[i].extension, FileTypeTable[i].extension);  // the table's own string
    EXPECT_EQ(fake.offered[i].handler, L"C:\\Program Files\\quenvo\\Quenvodef.exe");
    EXPECT_EQ(fake.offered[i].icon, std::wstring(L"C:\\Program Files\\quenvo\\icon\\") + icons[i]);
    EXPECT_EQ(fake.offered[i].reserved, nullptr);
  }
  EXPECT_EQ(fake.reservedCalls, 0);
  EXPECT_EQ(g_notifications, 1);
}

TEST_F(OfferTest, AssociatedTypesAreLeftAloneAndTheShellIsStillToldOnce) {
  FakeAssociation fake({kAllExtensions.begin(), kAllExtensions.end()});
  OfferFileTypes(&fake, kFolder, CountNotification);
  EXPECT_EQ(fake.asked, kAllExtensions);
  EXPECT_TRUE(fake.offered.empty());
  EXPECT_EQ(g_notifications, 1);
}

TEST_F(OfferTest, OnlyTheOthersOfAMixAreOfferedInOrder) {
  FakeAssociation fake({L".pptx", L".docx", L".csv"});
  OfferFileTypes(&fake, kFolder, CountNotification);
  EXPECT_EQ(OfferedExtensions(fake), (std::vector<std::wstring>{L".ppt", L".doc", L".xls", L".xlsx"}));
  EXPECT_EQ(g_notifications, 1);
}

// The answer is tested as a whole 32-bit integer, not as its low byte or its sign.
TEST_F(OfferTest, AnyNonzeroAnswerMeansAssociated) {
  for (int yes : {0x100, -1, static_cast<int>(0x80000000u)}) {
    FakeAssociation fake({L".ppt", L".xls"}, yes);
    OfferFileTypes(&fake, kFolder, CountNotification);
    EXPECT_EQ(OfferedExtensions(fake), (std::vector<std::wstring>{L".pptx", L".doc", L".docx", L".xlsx", L".csv"}))
        << "answer " << yes;
  }
}

TEST_F(OfferTest, WithoutAComponentNothingIsCalledAndTheShellIsNotTold) {
  OfferFileTypes(nullptr, kFolder, CountNotification);
  EXPECT_EQ(g_notifications, 0);
}

TEST_F(OfferTest, FolderBlanksAndNonAsciiAreKeptWithoutQuotes) {
  const std::wstring folder = L"D:\\my apps\\qu\u00e9nvo  suite\\\u5de5\u5177 \\";
  FakeAssociation fake({});
  OfferFileTypes(&fake, folder, CountNotification);
  ASSERT_EQ(fake.offered.size(), kFileTypeCount);
  EXPECT_EQ(fake.offered[4].handler, folder + L"Quenvodef.exe");
  EXPECT_EQ(fake.offered[4].icon, folder + L"icon\\xls.ico");
}

TEST(PathTest, HandlerAndIconPathsFollowTheFolder) {
  EXPECT_EQ(HandlerPathOf(L"X:\\a b\\", FileTypeTable[0]), L"X:\\a b\\Quenvodef.exe");
  EXPECT_EQ(IconPathOf(L"X:\\a b\\", FileTypeTable[3]), L"X:\\a b\\icon\\doc.ico");
  EXPECT_EQ(IconPathOf(L"", FileTypeTable[6]), L"icon\\xls.ico");
}

// --- the process-wide component -------------------------------------------------------------

int g_finds = 0, g_creates = 0;
std::wstring g_identifier;
FakeAssociation g_fake({});
IFileAssociation* g_created = nullptr;

IFileAssociation* __cdecl Create(const wchar_t* identifier) {
  ++g_creates;
  g_identifier = identifier;
  return g_created;
}
CreateFileAssociationFn FindFactory() {
  ++g_finds;
  return Create;
}

class SlotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_finds = g_creates = 0;
    g_identifier.clear();
    g_created = &g_fake;
  }
};

TEST_F(SlotTest, TheComponentIsCreatedOnceWithTheIdentifierAndReused) {
  ComponentSlot slot;
  EXPECT_EQ(slot.Obtain(FindFactory), &g_fake);
  EXPECT_EQ(slot.Obtain(FindFactory), &g_fake);
  EXPECT_EQ(std::tuple(g_finds, g_creates, g_identifier), std::tuple(1, 1, L"Quenvo2021"));
}

TEST_F(SlotTest, AMissingLibraryOrExportLeavesTheSlotEmpty) {
  ComponentSlot slot;
  EXPECT_EQ(slot.Obtain([]() -> CreateFileAssociationFn { return nullptr; }), nullptr);
  EXPECT_EQ(g_creates, 0);
  EXPECT_EQ(slot.Obtain(FindFactory), &g_fake);
}

TEST_F(SlotTest, ANullComponentIsNotKeptAsAComponent) {
  ComponentSlot slot;
  g_created = nullptr;
  EXPECT_EQ(slot.Obtain(FindFactory), nullptr);
  g_created = &g_fake;
  EXPECT_EQ(slot.Obtain(FindFactory), &g_fake);
  EXPECT_EQ(g_creates, 2);
}

// Without FileAssociation.dll beside the test program, the real lookup finds nothing.
TEST(FindTest, NoLibraryGivesNoFactory) {
  EXPECT_EQ(FindCreateFileAssociation(), nullptr);
}

}  // namespace
