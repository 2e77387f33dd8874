#include "toolcheck.h"

QString BatteryTool::name() const
{
    return writtenPath.section(u'/', -1);
}

std::vector<BatteryTool> batteryTools()
{
    // ip stands in for net-tools' ifconfig and netstat where those are missing,
    // and the agent's route tests start it by name.
    return {
        {"/usr/bin/dig", "bind9-dnsutils"},
        {"/usr/sbin/traceroute", "traceroute"},
        {"/usr/bin/nslookup", "bind9-dnsutils"},
        {"/sbin/ping", "iputils-ping"},
        {"/bin/ps", "procps"},
        {"/sbin/ip", "iproute2"},
        {"/usr/bin/curl", "curl"},
    };
}

std::vector<BatteryTool> missingTools(const LocalSystem &system)
{
    std::vector<BatteryTool> missing;
    if (system.platform == Platform::MacOS)
        return missing;
    for (const BatteryTool &tool : batteryTools()) {
        if (!findTool(tool.writtenPath, system))
            missing.push_back(tool);
    }
    return missing;
}

QString missingToolNotice(const BatteryTool &tool)
{
    return tool.name() + QStringLiteral(" not found: install ") + tool.package +
           QStringLiteral(" for a complete report");
}
