#pragma once

// The rows of the battery table, by what each asks. The value is the row's
// number in the table: the report's blocks stand in this order, and the
// listings in tests/data give every row in it. A row that a run leaves out
// (no test domain, the agent's gate shut) keeps its number; the agent's log
// files have no row. Scripts read the rows by these names, which the same
// list gives.
#define VELTRANE_BATTERY_ROWS(ROW)                                                                 \
    ROW(MyIp)                                                                                      \
    ROW(TraceTestDomain)                                                                           \
    ROW(TestDomainViaSystem)                                                                       \
    ROW(TestDomainAtPrimary)                                                                       \
    ROW(TestDomainAtSecondary)                                                                     \
    ROW(TestDomainAtPublicResolver)                                                                \
    ROW(TracePrimary)                                                                              \
    ROW(TraceSecondary)                                                                            \
    ROW(TraceApiHost)                                                                              \
    ROW(TraceMonitorHost)                                                                          \
    ROW(TraceBlockPageHost)                                                                        \
    ROW(TraceCategoryHitHost)                                                                      \
    ROW(DebugNamePort53)                                                                           \
    ROW(DebugNamePort443)                                                                          \
    ROW(DebugNamePort5353)                                                                         \
    ROW(DebugNameViaSystem)                                                                        \
    ROW(CdnEcho)                                                                                   \
    ROW(DnsProviderEcho)                                                                           \
    ROW(MyIpAtPrimary)                                                                             \
    ROW(CdnEchoAtItsServer)                                                                        \
    ROW(DnsProviderEchoAtItsServer)                                                                \
    ROW(ChaosPublicResolver)                                                                       \
    ROW(ChaosRootServer)                                                                           \
    ROW(ChaosPublicNameServer)                                                                     \
    ROW(PingServiceWebHost)                                                                        \
    ROW(PingPaloAlto)                                                                              \
    ROW(PingSeattle)                                                                               \
    ROW(PingLosAngeles)                                                                            \
    ROW(PingChicago)                                                                               \
    ROW(PingNewYork)                                                                               \
    ROW(PingAshburn)                                                                               \
    ROW(PingLondon)                                                                                \
    ROW(PingMiami)                                                                                 \
    ROW(PingSingapore)                                                                             \
    ROW(PingFrankfurt)                                                                             \
    ROW(PingHongKong)                                                                              \
    ROW(PingAmsterdam)                                                                             \
    ROW(PingBerlin)                                                                                \
    ROW(PingParis)                                                                                 \
    ROW(PingCopenhagen)                                                                            \
    ROW(PingDallas)                                                                                \
    ROW(PingBucharest)                                                                             \
    ROW(PingPrague)                                                                                \
    ROW(PingWashington)                                                                            \
    ROW(PingWarsaw)                                                                                \
    ROW(PingSydney)                                                                                \
    ROW(ProcessList)                                                                               \
    ROW(Interfaces)                                                                                \
    ROW(ResolverSettings)                                                                          \
    ROW(Routes)                                                                                    \
    ROW(MonitorPageAtAltHost)                                                                      \
    ROW(MonitorPage)                                                                               \
    ROW(AltHostHeaders)                                                                            \
    ROW(MonitorPageAtBlockPageHost)                                                                \
    ROW(WebServer)                                                                                 \
    ROW(SoftwareOverview)                                                                          \
    ROW(AgentTestDomain)                                                                           \
    ROW(AgentDebugName)                                                                            \
    ROW(AgentDataFolder)                                                                           \
    ROW(AgentOriginalResolvers)                                                                    \
    ROW(AgentInstallFolder)                                                                        \
    ROW(AgentLocalDomains)                                                                         \
    ROW(SystemLog)                                                                                 \
    ROW(PingBlockedAddress)                                                                        \
    ROW(RouteToBlockedAddress)                                                                     \
    ROW(PageFromBlockedAddress)                                                                    \
    ROW(RouteToGreyAddress)                                                                        \
    ROW(GreyAllowedPage)                                                                           \
    ROW(GreyAllowedPage8081)                                                                       \
    ROW(GreyBlockedPage)                                                                           \
    ROW(GreyBlockedPage8081)

enum class BatteryRow
{
    None = 0,
#define VELTRANE_BATTERY_ROW(name) name,
    VELTRANE_BATTERY_ROWS(VELTRANE_BATTERY_ROW)
#undef VELTRANE_BATTERY_ROW
};

// The rows that ping a place: the service's web host, then each router.
inline constexpr BatteryRow firstPlacePing = BatteryRow::PingServiceWebHost;
inline constexpr BatteryRow lastPlacePing = BatteryRow::PingSydney;
