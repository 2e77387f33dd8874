#pragma once

// The paths the battery writes its tools at. On Linux a tool that is not there
// is looked for by name in the system directories (see launchPathOn()).
namespace tools {

inline constexpr char dig[] = "/usr/bin/dig";
inline constexpr char nslookup[] = "/usr/bin/nslookup";
inline constexpr char traceroute[] = "/usr/sbin/traceroute";
inline constexpr char ping[] = "/sbin/ping";
inline constexpr char curl[] = "/usr/bin/curl";
inline constexpr char ps[] = "/bin/ps";
inline constexpr char ifconfig[] = "/sbin/ifconfig";
inline constexpr char netstat[] = "/usr/sbin/netstat";
// Stands in for ifconfig and netstat where net-tools is missing; the agent's
// route tests start it by name.
inline constexpr char ip[] = "/sbin/ip";
inline constexpr char sh[] = "/bin/sh";
inline constexpr char ls[] = "/bin/ls";
inline constexpr char cat[] = "/bin/cat";
inline constexpr char resolvectl[] = "/usr/bin/resolvectl";
inline constexpr char journalctl[] = "/usr/bin/journalctl";
inline constexpr char scutil[] = "/usr/sbin/scutil";
inline constexpr char systemProfiler[] = "/usr/sbin/system_profiler";

} // namespace tools
