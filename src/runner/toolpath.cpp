#include "toolpath.h"

QStringList toolDirectories()
{
    return {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"};
}

QString toolSearchPath()
{
    return toolDirectories().join(u':');
}
