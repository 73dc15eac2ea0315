#pragma once

#include <QString>

// Who and where the program runs, as recorded with every decision: the variables
// USERNAME, USERDOMAIN and COMPUTERNAME. Where they are not set (Linux): the login name
// (USER, LOGNAME or the passwd entry), the DNS domain of the host name or empty text, and
// the host name. Never a null text.
QString UserName();
QString UserDomain();
QString ComputerName();
