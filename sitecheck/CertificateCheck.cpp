// The certificate of each server a live check meets, once a server: what a
// browser would object to while the tool accepts it.
#include "sitecheck/Checker.h"

#include "sitecheck/TextRules.h"
#include "sitecheck/Url.h"

namespace sitecheck {

void Checker::CheckCertificate(const std::string& url, const std::string& file, int line) {
    if (!m_site.Live() || !StartsWithNoCase(url, "https://")) return;
    const std::string authority = AuthorityOf(url);
    if (!m_checkedAuthorities.insert(authority).second) return;
    const std::string reason = m_site.CertificateWarning(url);
    if (!reason.empty()) {
        Add(RuleId::VS501, file, line, "the certificate of " + authority + " " + reason);
    }
    // An expired certificate is outside its dates, said above.
    const std::optional<int> days = m_site.CertificateDaysLeft(url);
    if (days && *days >= 0 && *days <= m_options.certDays) {
        Add(RuleId::VS502, file, line,
            "the certificate of " + authority + " expires in " + std::to_string(*days) +
                (*days == 1 ? " day" : " days") + " (warned within " +
                std::to_string(m_options.certDays) + ")");
    }
}

// Refused before any status, like a server that does not answer; but the
// server is there, and only its certificate keeps every customer out.
bool Checker::RecordRefusedCertificate(const Fetched& fetched, const std::string& file, int line,
                                       const std::string& what) {
    if (fetched.outcome != Outcome::TlsRefused) return false;
    Add(RuleId::VS503, file, line, what + ": " + fetched.detail);
    return true;
}

}  // namespace sitecheck
