// The settings a device gets back when an earlier restore gave it only part of its saved
// settings before it was cut short: the values the device holds now for the settings that
// restore wrote (a person may have changed them since), the saved values for the others.
#pragma once

#include <cstdint>
#include <string>

// `saved` and `held` are settings files of one device kind; `taken` holds the setting bits
// (instrument or logger bits) the earlier restore wrote. A line whose settings were not all
// taken comes from `saved`; a kind whose files name no setting bits (a digital sensor) gets
// `saved` as it is.
std::string MergeRestored(int kind, const std::string& saved, const std::string& held, uint32_t taken);
