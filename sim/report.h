// The JSON report written at exit: what the device holds, what went wrong and what crossed the
// wire.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "device.h"
#include "pty_link.h"
#include "ti_text.h"

constexpr uint32_t kReportRunGap = 16;  // erased bytes that split two flash runs

// `image` is the --image file's contents, or null.
nlohmann::json MakeReport(const Device& device, const PtyLink& link, const std::vector<TiSegment>* image);
// Written to a temporary file first and renamed, so a reader never sees half a report.
bool WriteReport(const std::string& path, const nlohmann::json& report, std::string& error);
