// The shutdown reasons the main window offers, with the codes the target
// records in its event log. Plain data, shared by the window and its tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace skarvet {

// The published layout of a shutdown reason: bit 31 planned, bits 16 to 23
// the major reason, bits 0 to 15 the minor reason. Our own names, so that
// they never clash with the system header's macros.
inline constexpr std::uint32_t kReasonFlagPlanned = 0x80000000u;
inline constexpr std::uint32_t kReasonFlagUserDefined = 0x40000000u;

inline constexpr std::uint32_t kReasonMajorOther = 0x00000000u;
inline constexpr std::uint32_t kReasonMajorHardware = 0x00010000u;
inline constexpr std::uint32_t kReasonMajorOperatingSystem = 0x00020000u;
inline constexpr std::uint32_t kReasonMajorApplication = 0x00040000u;
inline constexpr std::uint32_t kReasonMajorSystem = 0x00050000u;
inline constexpr std::uint32_t kReasonMajorPower = 0x00060000u;

inline constexpr std::uint32_t kReasonMinorOther = 0x0000u;
inline constexpr std::uint32_t kReasonMinorMaintenance = 0x0001u;
inline constexpr std::uint32_t kReasonMinorInstallation = 0x0002u;
inline constexpr std::uint32_t kReasonMinorUpgrade = 0x0003u;
inline constexpr std::uint32_t kReasonMinorReconfig = 0x0004u;
inline constexpr std::uint32_t kReasonMinorHung = 0x0005u;
inline constexpr std::uint32_t kReasonMinorUnstable = 0x0006u;
inline constexpr std::uint32_t kReasonMinorCordUnplugged = 0x000Bu;
inline constexpr std::uint32_t kReasonMinorEnvironment = 0x000Cu;
inline constexpr std::uint32_t kReasonMinorBlueScreen = 0x000Fu;

// Sent whenever the user has picked no reason: hardware, other, unplanned.
// It belongs to none of the listed entries.
inline constexpr std::uint32_t kDefaultReasonCode = 0x00010000u;

struct ShutdownReason {
  const char* Text;
  std::uint32_t Code;
};

inline constexpr std::size_t kShutdownReasonCount = 18;

// The entries in the order the list shows them.
extern const std::array<ShutdownReason, kShutdownReasonCount> ShutdownReasons;

} // namespace skarvet
