#pragma once
// The shapes of a worksheet's drawing as the template filler edits them: copies of the
// notes and pictures anchored in band rows, note texts, picture names and picture data.
//
// A sheet's drawing is one OfficeArt stream (MS-ODRAW) cut into MSODRAWING records, with
// the OBJ, TXO and embedded chart records of each shape between the cuts. Editing joins
// the stream, changes it and cuts it again at the positions of those records, so the
// records keep their place after the shape bytes they follow.
#include "xls/workbook.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvane::xls {

/// Copies every shape whose anchor lies within rows [first, last] (0-based) `copies`
/// times, copy k moved down by k × height rows, with its OBJ, text box and NOTE records:
/// each copy gets its own shape id and object id, and the drawing's counts and the
/// workbook's id clusters are kept in step. Fails with "Ivalid arguments to call
/// InsertAndCopyRows" when the sheet would need more object ids than the 16-bit field
/// holds; nothing is changed then.
void copyBandShapes(TWorkbook& book, TWorkSheet& sheet, int first, int last, int copies, int height);

/// The text of a note's text box, or nothing when the note has no readable TXO.
std::optional<std::u16string> noteText(const TWorkSheet& sheet, std::size_t note);

/// Rewrites the text of note `note`. Formatting runs that start inside the new text are
/// kept; the text ends with the font of the former last run.
void setNoteText(TWorkSheet& sheet, std::size_t note, std::u16string_view text);

/// Removes the notes of these indexes with their shapes, OBJ and text box records.
void removeNotes(TWorkSheet& sheet, std::vector<std::size_t> notes);

/// A picture of the drawing: its place among the shapes and its name (FOPT wzName).
struct PictureShape {
    std::size_t shape = 0; // index among the shapes below the patriarch
    int topRow = 0;        // anchor, 0-based
    std::u16string name;
};

/// The pictures (shapes with a BLIP index) of the sheet, in drawing order.
std::vector<PictureShape> pictures(TWorkSheet& sheet);

/// BLIP types of the picture store.
enum class BlipType : std::uint8_t { EMF = 2, WMF = 3, JPEG = 5, PNG = 6 };

/// New image data for one picture.
struct PictureData {
    std::size_t shape = 0; // as PictureShape::shape
    BlipType type = BlipType::JPEG;
    std::vector<std::uint8_t> data;
};

/// Gives pictures new image data: each becomes a new entry of the workbook's picture
/// store (made when the workbook has none) that the shape's BLIP index then names.
void replacePictures(TWorkbook& book, TWorkSheet& sheet, const std::vector<PictureData>& pictures);

} // namespace quorvane::xls
