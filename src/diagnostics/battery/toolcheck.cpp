#include "toolcheck.h"

#include "batterytools.h"

QString BatteryTool::name() const
{
    return writtenPath.section(u'/', -1);
}

std::vector<BatteryTool> batteryTools()
{
    return {
        {tools::dig, "bind9-dnsutils"},
        {tools::traceroute, "traceroute"},
        {tools::nslookup, "bind9-dnsutils"},
        {tools::ping, "iputils-ping"},
        {tools::ps, "procps"},
        {tools::ip, "iproute2"},
        {tools::curl, "curl"},
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
