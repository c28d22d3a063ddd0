#pragma once

#include <QString>

// The program's addresses on the web, in one place: the about window and the HTML export
// use them. The project has no site yet: they point at the reserved domain rubrino.example,
// which never resolves.
namespace WebAddresses {

inline QString homePage() { return QStringLiteral("http://www.rubrino.example/"); }
inline QString forum() { return QStringLiteral("http://forum.rubrino.example/"); }
// The maker's web site and the host name shown for it.
inline QString makerSite() { return QStringLiteral("http://www.rubrino.example/squadra/"); }
inline QString makerHost() { return QStringLiteral("www.rubrino.example"); }
// The sites of the people credited in the about window: graphics and testing.
inline QString graphicsSite() { return QStringLiteral("http://grafica.rubrino.example/"); }
inline QString graphicsHost() { return QStringLiteral("grafica.rubrino.example"); }
inline QString testersSite() { return QStringLiteral("http://prove.rubrino.example/"); }
inline QString testersHost() { return QStringLiteral("prove.rubrino.example"); }
// The server asked for a newer version.
inline QString updateServer() { return QStringLiteral("http://aggiornamenti.rubrino.example"); }
inline QString updatePath() { return QStringLiteral("/aggiornamenti/rbn.txt"); }

} // namespace WebAddresses
