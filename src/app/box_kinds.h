// Dialog kinds of the error box, shared by the update sequences, the web
// services and the front ends that show them.
#pragma once

constexpr int kBoxWarning = 0;
constexpr int kBoxError = 1;
constexpr int kBoxInformation = 2;
constexpr int kBoxConfirmation = 3;
constexpr int kBoxPlain = 4;  // no icon
