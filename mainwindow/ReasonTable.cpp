#include "mainwindow/ReasonTable.h"

namespace skarvet {

// The codes are written as the literal numbers the event log shows; the
// tests check that they agree with the named parts above.
const std::array<ShutdownReason, kShutdownReasonCount> ShutdownReasons = {{
    {"Other (Unplanned)", 0x00000000u},
    {"Other (Planned)", 0x80000000u},
    {"Other Failure: System Unresponsive", 0x00000005u},
    {"Hardware: Maintenance (Unplanned)", 0x00010001u},
    {"Hardware: Maintenance (Planned)", 0x80010001u},
    {"Hardware: Installation (Unplanned)", 0x00010002u},
    {"Hardware: Installation (Planned)", 0x80010002u},
    {"Operating System: Upgrade (Unplanned)", 0x00020003u},
    {"Operating System: Upgrade (Planned)", 0x80020003u},
    {"Operating System: Reconfiguration (Unplanned)", 0x00020004u},
    {"Operating System: Reconfiguration (Planned)", 0x80020004u},
    {"Application: Maintenance (Unplanned)", 0x00040001u},
    {"Application: Maintenance (Planned)", 0x80040001u},
    {"Application: Unresponsive", 0x00040005u},
    {"Application: Unstable", 0x00040006u},
    {"System Failure: Stop error", 0x0005000Fu},
    {"Power Failure: Cord Unplugged", 0x0006000Bu},
    {"Power Failure: Environment", 0x0006000Cu},
}};

} // namespace skarvet
