#pragma once

#include "about/AboutDelegateProtocol.h"

// The texts of Veloran's About window.
class AboutDelegate final : public AboutDelegateProtocol {
public:
    QString mainDescription() const override;
    std::optional<QString> secondaryDescription() const override;
    std::optional<QStringList> thirdParties() const override;
    std::optional<QUrl> userGuideURL() const override;
};
