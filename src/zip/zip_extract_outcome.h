// How an extraction of independent units (ZIP entries, solid payload parts)
// ends, whichever order its workers finish them in: done, cancelled, or
// failed with the first failure in archive order, as one thread would have
// met it. Shared by the entry workers and the solid payload.
#pragma once

#include <climits>
#include <string>
#include <utility>

#include "framework/exception.h"
#include "zip/zip_exception.h"

enum class ExtractResult { Done, Cancelled, Failed };

struct ExtractFailure {
    std::string name;             // the entry or member it concerns
    CException* error = nullptr;  // deleted by whoever holds the failure last
    std::string what;             // the text of an error that is no CException
    bool endsEarly = false;       // the entry's data ended before its size
};

// The error of a unit that could not get the memory it needs.
inline CException* NotEnoughMemory(const std::string& name) {
    CZipException* error = new CZipException(ErrGeneric, name);
    error->detail = "not enough memory";
    return error;
}

// Keeps the failure of the unit first in archive order among those offered.
class CFirstFailure {
public:
    CFirstFailure() = default;
    ~CFirstFailure() { Clear(); }
    CFirstFailure(const CFirstFailure&) = delete;
    CFirstFailure& operator=(const CFirstFailure&) = delete;

    // Keeps `failure` of unit `order` when no unit before it failed (its
    // error is deleted otherwise).
    void Offer(int order, ExtractFailure failure) {
        if (order < at) {
            Clear();
            kept = std::move(failure);
            at = order;
        } else if (failure.error) {
            failure.error->Delete();
        }
    }
    // Whether unit `order` still matters: it lies before every failure.
    bool Before(int order) const { return order < at; }
    bool Failed() const { return at != INT_MAX; }
    // Hands the failure over, with its error.
    ExtractFailure Take() {
        ExtractFailure failure = std::move(kept);
        kept = ExtractFailure();
        at = INT_MAX;
        return failure;
    }
    void Clear() {
        if (kept.error) kept.error->Delete();
        kept = ExtractFailure();
        at = INT_MAX;
    }

private:
    ExtractFailure kept;
    int at = INT_MAX;
};
