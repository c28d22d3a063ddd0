#pragma once

#include <QString>

// The program's addresses on the web. The project has no site yet: they point at the
// reserved domain rubrino.example, which never resolves.
namespace WebAddresses {

inline QString homePage() { return QStringLiteral("http://www.rubrino.example/"); }
inline QString forum() { return QStringLiteral("http://forum.rubrino.example/"); }
// The maker's web site and the host name shown for it.
inline QString makerSite() { return QStringLiteral("http://www.rubrino.example/squadra/"); }
inline QString makerHost() { return QStringLiteral("www.rubrino.example"); }
// The server asked for a newer version.
inline QString updateServer() { return QStringLiteral("http://aggiornamenti.rubrino.example"); }
inline QString updatePath() { return QStringLiteral("/aggiornamenti/rbn.txt"); }

} // namespace WebAddresses
