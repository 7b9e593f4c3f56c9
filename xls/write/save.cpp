#include "xls/write/save.h"

#include "xls/write/compound_writer.h"
#include "xls/write/messages.h"
#include "xls/write/writer.h"

namespace quorvane::xls {

std::vector<std::uint8_t> saveToDocument(TXLSFile& file)
{
    const std::vector<std::uint8_t> stream = saveToBytes(file.workbook());
    return buildCompoundDocument(file.storages(), stream);
}

void saveFile(TXLSFile& file, const SaveTarget& target)
{
    for (TSaveFormat format : file.saveFormat())
        if (format != TSaveFormat::snXLS)
            throw WriteError(msg::LogicalError);
    if (file.saveFormat().empty())
        return;

    std::vector<std::uint8_t>* stream = target.outStream;
    std::string name = target.path;
    if (!stream) {
        if (target.OnGetOutStream)
            stream = target.OnGetOutStream();
        else if (target.OnGetFilename)
            target.OnGetFilename(name);
    }
    if (!stream && !file.allowOverwritingFiles() && pathExists(name))
        throw WriteError(formatMessage(msg::CantWriteFile, name.c_str()));

    const std::vector<std::uint8_t> document = saveToDocument(file);
    if (stream)
        *stream = document;
    else
        writeFileAtomically(name, document, file.allowOverwritingFiles());
}

void saveFile(TXLSFile& file, const std::string& path)
{
    SaveTarget target;
    target.path = path;
    saveFile(file, target);
}

} // namespace quorvane::xls
