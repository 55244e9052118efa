// SPDX-License-Identifier: BSD-2-Clause
// The seed sessions of the session targets: the message sequences Wine's
// compression manager sends for VfW and AVIFile hosts, the orders field
// hosts use, and the misbehaving orders hosts are known for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SessionSeed {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<SessionSeed> DriverSessionSeeds();
std::vector<SessionSeed> FieldSessionSeeds();
