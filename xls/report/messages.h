#pragma once
// The template filler's fixed texts, each written once, and its error class.
// Placeholders follow printf conventions and are filled by formatMessage() of xls/errors.h.
#include "xls/errors.h"

namespace quorvane::xls {

namespace msg {
inline constexpr const char* DataSetNotFound = "Can\u00B4t find the dataset %s";
inline constexpr const char* FieldNotFound = "Field not found: \"%s\"";
inline constexpr const char* PropertyNotPublished = "Property \"%s\" has not been defined or is not published";
inline constexpr const char* PropertyNotVariant = "Error trying to retrieve property \"%s\". Verify it is a variant";
inline constexpr const char* PropertyDimensions = "The property \"%s\" has only %d dimensions";
inline constexpr const char* PropertyIndexRange = "The index \"%d\" of the property \"%s\" is not in the range %d-%d";
inline constexpr const char* InvalidFieldCell =
    "Cell at Row %d, Column %d, Sheet %d with value \"%s\" refers to an invalid field.";
inline constexpr const char* DrawingTypeInvalid = "Drawing type \"%s\" invalid";
inline constexpr const char* InsertAndCopyRows = "Ivalid arguments to call InsertAndCopyRows";
inline constexpr const char* TooManyPageBreaks = "Too many manual Page breaks for this sheet";
} // namespace msg

/// A template that cannot be filled: a tag naming what the data module lacks, a band
/// that does not fit, a marker the sheet cannot take.
class ReportError : public XlsError {
public:
    using XlsError::XlsError;
};

} // namespace quorvane::xls
