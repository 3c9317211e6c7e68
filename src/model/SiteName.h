#pragma once

#include <QSet>
#include <QString>
#include <QUrl>

#include <optional>

// Domain labels that name no site ("com", "org", "co", "uk", ...), taken off
// the end of a host to find the site's own label.
const QSet<QString> &genericDomainLabels();

// A short name for the site of a URL, made from its host: "www.abc.co.uk"
// gives "ABC", "en.anatomy.org" gives "Anatomy"; none without a host.
std::optional<QString> siteName(const QUrl &url);
