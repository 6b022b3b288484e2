#include "convert/conversion_context.h"

#include <cstring>

void RecordFailure(ConversionContext& context, const char* what, int errorNumber) {
    ConversionFailure& failure = context.failure;
    failure.happened = true;
    std::snprintf(failure.what.data(), failure.what.size(), "%s", what);
    failure.errorNumber = errorNumber;
}

void PrintFailure(std::FILE* stream, const ConversionFailure& failure) {
    std::fprintf(stream, "%s: %s\n", failure.what.data(), std::strerror(failure.errorNumber));
}
