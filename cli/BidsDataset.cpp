#include "BidsDataset.h"

#include <algorithm>
#include <vector>

#include <nlohmann/json.hpp>

#include "BidsFiles.h"
#include "VareloVersion.h"

namespace {

constexpr const char* bidsVersion = "1.8.0";

std::string NameOf(const std::string& root)
{
    std::string name = root;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string ReadmeText(const std::string& name)
{
    return "# " + name
           + "\n\n"
             "Intracranial and extracellular recordings of the acquisition system, converted to EDF+ by "
             "Varelo " VARELO_VERSION
             " and arranged in BIDS. Each gap-free segment of a recording is one run of its task, in the\n"
             "order of the recording; the session's scans table gives each run's first sample instant.\n\n"
             "Describe here the study, the participants, the electrodes and the equipment (the\n"
             "Manufacturer of each recording's sidecar), and how to cite the dataset.\n";
}

// Reads `path` into `rows` and `text` when it exists; `header` when it does not. What is added
// is written after the text as it is, so that no byte of it changes.
bool ReadOrStart(const std::string& path, const std::vector<std::string>& header, TsvRows& rows, std::string& text,
                 std::string& error)
{
    if (!PathExists(path)) {
        rows = {header};
        text = TsvText(rows);
        return true;
    }
    if (!ReadTsv(path, rows, text, error))
        return false;
    if (!text.empty() && text.back() != '\n')
        text += '\n';
    if (rows.empty() || rows.front().empty() || rows.front().front() != header.front()) {
        error = path + " does not start with the column " + header.front();
        return false;
    }
    return true;
}

// The row with its first cells, "n/a" in every further column of the table.
std::vector<std::string> RowOf(const TsvRows& rows, std::vector<std::string> cells)
{
    cells.resize(std::max(cells.size(), rows.front().size()), "n/a");
    return cells;
}

}  // namespace

bool StartDataset(const BidsRequest& request, std::string& error)
{
    const std::string name = request.datasetName.empty() ? NameOf(request.root) : request.datasetName;
    const std::string description = request.root + "/dataset_description.json";
    if (!PathExists(description)) {
        const nlohmann::ordered_json json = {
            {"Name", name},
            {"BIDSVersion", bidsVersion},
            {"DatasetType", "raw"},
            {"GeneratedBy", {{{"Name", "Varelo"}, {"Version", VARELO_VERSION}}}},
        };
        if (!WriteNewFile(description, json.dump(4) + "\n", error))
            return false;
    }
    const std::string readme = request.root + "/README";
    return PathExists(readme) || WriteNewFile(readme, ReadmeText(name), error);
}

bool AddParticipant(const std::string& root, const std::string& subject, std::string& error)
{
    const std::string table = root + "/participants.tsv";
    TsvRows rows;
    std::string text;
    if (!ReadOrStart(table, {"participant_id"}, rows, text, error))
        return false;
    const std::string id = "sub-" + subject;
    const bool listed =
        std::any_of(rows.begin() + 1, rows.end(), [&id](const auto& row) { return !row.empty() && row[0] == id; });
    if (!listed) {
        if (!ReplaceFile(table, text + TsvText({RowOf(rows, {id})}), error))
            return false;
    }
    const std::string description = root + "/participants.json";
    const nlohmann::ordered_json json = {
        {"participant_id", {{"Description", "The participant's label, as in the names of the subject's folder."}}}};
    return PathExists(description) || WriteNewFile(description, json.dump(4) + "\n", error);
}

bool AddScans(const std::string& path, const std::vector<std::pair<std::string, std::string>>& scans,
              std::string& error)
{
    TsvRows rows;
    std::string text;
    if (!ReadOrStart(path, {"filename", "acq_time"}, rows, text, error))
        return false;
    const auto timeColumn =
        static_cast<size_t>(std::find(rows.front().begin(), rows.front().end(), "acq_time") - rows.front().begin());
    TsvRows added;
    for (const auto& [file, time] : scans) {
        added.push_back(RowOf(rows, {file}));
        if (timeColumn < added.back().size())
            added.back()[timeColumn] = time;
    }
    return ReplaceFile(path, text + TsvText(added), error);
}
