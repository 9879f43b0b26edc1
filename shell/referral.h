#pragma once

#include <QString>

namespace vantrel {

// The maker's site (a reserved name, so no one else's site is ever opened)
// and the referral page that every link of the program opens.
inline QString MakerSite()
{
    return QStringLiteral("http://brenmoor.example");
}

inline QString MakerSiteWithoutScheme()
{
    return QStringLiteral("brenmoor.example");
}

inline QString ReferralPage()
{
    return MakerSite() + QStringLiteral("/referrals/idevaffiliate.php?id=5");
}

} // namespace vantrel
