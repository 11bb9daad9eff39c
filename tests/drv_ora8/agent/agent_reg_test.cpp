// Registration: the agent's table with the failover wrappers in place, every
// slot callable, and a second registration changing nothing.
#include <cstring>

#include "agent_fixture.h"
#include "xa.h"

using namespace agent_test;

namespace {

// The slots that carry a failover wrapper.
constexpr int kWrapped[] = {0,  1,  7,  8,  9,  10, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22, 24,
                            25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 38, 39, 40, 43, 51, 53};

void *Slot(const DrvOps &t, int i) {
  void *p;
  memcpy(&p, reinterpret_cast<const char *>(&t) + i * sizeof(void *), sizeof p);
  return p;
}

bool IsWrapped(int slot) {
  for (int s : kWrapped)
    if (s == slot) return true;
  return false;
}

TEST(Registration, FillsTheObjectWithTheWrappedAgentTable) {
  DrvObject obj{};
  EXPECT_EQ(0, ORA_Register(&obj));
  EXPECT_EQ(DRVOBJ_THREADSAFE, obj.flags);
  ASSERT_NE(nullptr, obj.table);
  const DrvOps &base = ORA_BaseOps();
  const DrvOps &agent = *ORA_AgentTable();
  EXPECT_EQ(35u, sizeof kWrapped / sizeof kWrapped[0]);
  for (int i = 0; i < kDrvSlots; ++i) {
    EXPECT_NE(nullptr, Slot(*obj.table, i)) << DrvSlotName(i);
    EXPECT_NE(nullptr, Slot(base, i)) << DrvSlotName(i);
    if (IsWrapped(i)) {
      EXPECT_NE(Slot(base, i), Slot(agent, i)) << DrvSlotName(i);
    } else {
      EXPECT_EQ(Slot(base, i), Slot(agent, i)) << DrvSlotName(i);
    }
  }
  // Slot 2 and slot 50 are the agent's own operations, slot 1 a wrapper.
  EXPECT_EQ(&ORA_GetErrors, agent.DRV_GetErrors);
  EXPECT_EQ(&ORA_Savepoint, agent.DRV_Savepoint);
  EXPECT_EQ(&ORA_SetInfo, base.DRV_SetInfo);
  EXPECT_NE(&ORA_SetInfo, agent.DRV_SetInfo);
  // The object below the cursor layer names the agent's table.
  EXPECT_EQ(ORA_AgentTable(), ORA_AgentObject()->table);
  EXPECT_EQ(DRVOBJ_THREADSAFE, ORA_AgentObject()->flags);
}

TEST(Registration, RepeatedRegistrationChangesNothing) {
  DrvObject first{}, second{};
  ORA_Register(&first);
  DrvOps top = *first.table;
  DrvOps agent = *ORA_AgentTable();
  ORA_Register(&second);
  ORA_Register(&first);
  EXPECT_EQ(first.table, second.table);
  EXPECT_EQ(first.flags, second.flags);
  EXPECT_EQ(0, memcmp(&top, first.table, sizeof top));
  EXPECT_EQ(0, memcmp(&agent, ORA_AgentTable(), sizeof agent));
  EXPECT_EQ(0, ORA_Register(nullptr));
}

TEST(Registration, SlotsOnlyTheCursorLayerServesAreNotCapable) {
  const DrvOps &t = *ORA_AgentTable();
  uint32_t rows = 0;
  int32_t count = 0;
  EXPECT_EQ(E_S1C00, t.DRV_ExtendedFetch(0xCCCC0000, nullptr, 0, &rows, &count));
  EXPECT_EQ(E_S1C00, t.DRV_SetPos(0xCCCC0000, 1, 0, 0, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(E_S1C00, t.DRV_ExecBatch(0xCCCC0000, 0, nullptr, nullptr, nullptr));
  EXPECT_EQ(E_S1C00, t.DRV_SetParamInfo2(0xCCCC0000, 0, nullptr));
}

TEST(Registration, XaSlotsAnswerXaCodes) {
  // Whatever the build holds of the XA operations, an unknown connection is
  // never an XA success.
  const DrvOps &t = ORA_BaseOps();
  EXPECT_NE(XA_OK, t.DRV_XaOpen(0xBBBB0000, 0, "", 0, 0));
  EXPECT_NE(XA_OK, t.DRV_XaCommit(0xBBBB0000, nullptr, 0, 0));
  EXPECT_NE(XA_OK, t.DRV_XaRecover(0xBBBB0000, nullptr, 0, 0, 0));
}

}  // namespace
