// Bid groups: their life with the items that name them, and the group
// section of the file, which must never stop a list from opening.

#include <gtest/gtest.h>

#include "base/Prompt.h"
#include "model/BidGroup.h"
#include "model/ebayDoc.h"

namespace bexora {
namespace {

std::vector<std::string> Names(const CBidGroupList& list) {
    std::vector<std::string> out;
    for (const auto& g : list.Groups()) out.push_back(g->GetName());
    return out;
}

std::string StoreGroups(CBidGroupList& list) {
    std::string bytes;
    CArchive ar(CArchive::store, bytes);
    list.Serialize(ar);
    return bytes;
}

CBidGroupList LoadGroups(const std::string& bytes) {
    RegisterModelClasses();
    CBidGroupList list;
    CArchive ar(CArchive::load, bytes);
    list.Serialize(ar);
    return list;
}

TEST(BidGroup, LifeOfAGroup) {
    CBidGroupList list;
    EXPECT_EQ(list.FindGroup("lamps"), nullptr);

    // Two items join "lamps" wanting one win.
    EXPECT_TRUE(list.JoinGroup("lamps", 1));
    EXPECT_TRUE(list.JoinGroup("lamps", 1));
    CBidGroup* lamps = list.FindGroup("lamps");
    ASSERT_NE(lamps, nullptr);
    EXPECT_EQ(lamps->GetMembers(), 2);
    EXPECT_EQ(lamps->GetWanted(), 1);

    // The first bid is sent, then fails and gives its place back.
    lamps->SetWanted(lamps->GetWanted() - 1);
    EXPECT_EQ(lamps->GetWanted(), 0);
    lamps->SetWanted(lamps->GetWanted() + 1);

    // Joining again with 3 typed in the dialog sets the counter to 3.
    lamps->SetWanted(0);
    list.JoinGroup("lamps", 3);
    EXPECT_EQ(lamps->GetWanted(), 3);
    EXPECT_EQ(lamps->GetMembers(), 3);

    // New groups go to the head; names differing in case are two groups.
    list.JoinGroup("Lamps", 1);
    list.JoinGroup("vases", 2);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"vases", "Lamps", "lamps"}));

    // The group goes with its last member.
    list.LeaveGroup("lamps");
    list.LeaveGroup("lamps");
    EXPECT_EQ(list.FindGroup("lamps"), lamps);
    list.LeaveGroup("lamps");
    EXPECT_EQ(list.FindGroup("lamps"), nullptr);
    list.LeaveGroup("nobody");  // harmless
    EXPECT_EQ(Names(list), (std::vector<std::string>{"vases", "Lamps"}));

    // Setting up a new bid for the only member: leave, then join again.
    CBidGroup* vases = list.FindGroup("vases");
    vases->SetWanted(-1);
    list.LeaveGroup("vases");
    list.JoinGroup("vases", 2);
    EXPECT_EQ(list.FindGroup("vases")->GetWanted(), 2);
    EXPECT_EQ(list.FindGroup("vases")->GetMembers(), 1);

    CBidGroup stranger("Lamps", 1);
    EXPECT_FALSE(list.RemoveGroup(&stranger));
    EXPECT_TRUE(list.RemoveGroup(list.FindGroup("Lamps")));
    EXPECT_EQ(list.GetCount(), 1u);
}

TEST(BidGroup, SectionRoundTripAndBytes) {
    CBidGroupList list;
    list.JoinGroup("b", 1);
    list.JoinGroup("a", 5);
    list.JoinGroup("a", -2);  // counters may go below zero
    const std::string bytes = StoreGroups(list);
    const std::string expected = std::string("\x02\x00\xFF\xFF\x02\x00\x09\x00", 8) + "CBidGroup" +
                                 std::string(
                                     "\x01"
                                     "a"
                                     "\xFE\xFF\xFF\xFF\x02\x00\x00\x00",
                                     10) +
                                 std::string(
                                     "\x01\x80\x01"
                                     "b"
                                     "\x01\x00\x00\x00\x01\x00\x00\x00",
                                     12);
    EXPECT_EQ(bytes, expected);

    CBidGroupList back = LoadGroups(bytes);
    EXPECT_EQ(Names(back), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(back.FindGroup("a")->GetWanted(), -2);
    EXPECT_EQ(back.FindGroup("a")->GetMembers(), 2);
    EXPECT_EQ(back.FindGroup("b")->GetMembers(), 1);
}

TEST(BidGroup, DamagedSectionsAreSwallowed) {
    CBidGroupList list;
    list.JoinGroup("two", 2);
    list.JoinGroup("one", 1);
    const std::string bytes = StoreGroups(list);

    // Missing altogether, or cut anywhere: the groups read so far stay.
    EXPECT_TRUE(LoadGroups("").IsEmpty());
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        CBidGroupList back = LoadGroups(bytes.substr(0, cut));
        EXPECT_LE(back.GetCount(), 1u) << cut;
    }
    EXPECT_EQ(LoadGroups(bytes.substr(0, bytes.size() - 1)).GetCount(), 1u);

    // An unregistered class where a group should be.
    std::string alien = bytes;
    alien.replace(alien.find("CBidGroup"), 9, "CBidGroop");
    EXPECT_TRUE(LoadGroups(alien).IsEmpty());

    // Schema 1 groups carry nothing; another schema is reported once per group.
    TakeShownPrompts();
    std::string old = std::string("\x01\x00\xFF\xFF\x01\x00\x09\x00", 8) + "CBidGroup";
    CBidGroupList oldList = LoadGroups(old);
    ASSERT_EQ(oldList.GetCount(), 1u);
    EXPECT_EQ(oldList.Groups().front()->GetName(), "default");
    EXPECT_EQ(oldList.Groups().front()->GetWanted(), 0);
    EXPECT_TRUE(TakeShownPrompts().empty());

    std::string odd = bytes;
    odd[4] = 7;                               // schema 7
    CBidGroupList oddList = LoadGroups(odd);  // reads out of step from here on
    std::vector<std::string> shown = TakeShownPrompts();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0], "sw:Unknown file format");
}

}  // namespace
}  // namespace bexora
