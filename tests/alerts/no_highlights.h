#pragma once
// A highlight list for an alert set whose words nobody draws.

#include "alerts/alert_set.h"

#include <string_view>

class NoHighlights final : public alerts::HighlightList {
public:
    void add_keyword(std::string_view) override {}
    void blank_keyword(std::string_view) override {}
    void keywords_changed() override {}
};
