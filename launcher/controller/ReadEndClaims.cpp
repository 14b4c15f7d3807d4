// SPDX-License-Identifier: MIT
#include "ReadEndClaims.h"

#include <algorithm>
#include <vector>

namespace paddock {

namespace {

struct Claim {
    std::weak_ptr<QObject> handle; // a freed handle's address may be reused: its claim is over
    const QObject *address;
    const void *reader; // null once the reader is gone
};

std::vector<Claim> &claims()
{
    static std::vector<Claim> all;
    return all;
}

} // namespace

void ReadEndClaims::claim(const std::shared_ptr<QObject> &handle, const void *reader)
{
    if (!handle)
        return;
    std::erase_if(claims(), [&handle](const Claim &claim) {
        return claim.handle.expired() || claim.address == handle.get();
    });
    claims().push_back(Claim{handle, handle.get(), reader});
}

ReadEndClaims::Reader ReadEndClaims::readerOf(const QObject *handle, const void *asking)
{
    if (!handle)
        return Reader::Nobody;
    const auto found = std::find_if(claims().begin(), claims().end(), [handle](const Claim &claim) {
        return claim.address == handle && !claim.handle.expired();
    });
    if (found == claims().end())
        return Reader::Nobody;
    return found->reader == asking ? Reader::This : Reader::Another;
}

void ReadEndClaims::release(const void *reader)
{
    for (Claim &claim : claims())
        if (claim.reader == reader)
            claim.reader = nullptr;
}

} // namespace paddock
