#include "engine/base/Translation.h"
#include "engine/fat/VolumeCheck.h"

// How a problem and its fix read: built from the problem's data when shown, so that JSON,
// which asks under SourceTexts, gets the source texts.
namespace tamberlane {

namespace {

constexpr Text fatCopiesDifferText =
    N_("FATのコピーが一致しません（異なるエントリ: %1$s、ディレクトリと一致するコピー: %2$s）");
constexpr Text chainLoopText = N_("%1$s のクラスタチェーンがループしています（クラスタ %2$s）");
constexpr Text chainIntoFreeText = N_("%1$s のクラスタチェーンが空きクラスタ %2$s に続いています");
constexpr Text chainIntoReservedText =
    N_("%1$s のクラスタチェーンが予約値または不良クラスタの値に続いています（クラスタ %2$s）");
constexpr Text chainOutOfRangeText =
    N_("%1$s のクラスタチェーンがボリューム外のクラスタ %2$s を指しています");
constexpr Text chainLongerText =
    N_("%1$s のクラスタチェーンがファイルサイズより長くなっています（サイズ: %2$sバイト、チェーン: "
       "%3$sクラスタ）");
constexpr Text chainShorterText =
    N_("%1$s のクラスタチェーンがファイルサイズより短くなっています（サイズ: %2$sバイト、チェーン: "
       "%3$sクラスタ）");
constexpr Text invalidNameText = N_("%1$s の名前が不正です");
constexpr Text invalidAttributesText = N_("%1$s の属性が矛盾しています（%2$s）");
constexpr Text invalidStartClusterText = N_("%1$s の開始クラスタが不正です（%2$s）");
constexpr Text duplicateNameText = N_("%1$s と同じ名前のエントリが同じディレクトリにあります");
constexpr Text entryAfterEndText = N_("%1$s はディレクトリの終端より後にあります");
constexpr Text badDotEntryText = N_("%1$s の「.」エントリがないか、自身を指していません");
constexpr Text badDotDotEntryText = N_("%1$s の「..」エントリがないか、親を指していません");
constexpr Text directoryCycleText = N_("%1$s は上位のディレクトリ %2$s を指しています");
constexpr Text orphanLongNameText =
    N_("%1$s に、エントリの続かない長いファイル名のスロットがあります（スロット: %2$s）");
constexpr Text longNameChecksumText = N_("%1$s の長いファイル名のチェックサムが一致しません");
constexpr Text sectorSizeMismatchText = N_(
    "ブートセクタのセクタサイズ（%1$sバイト）がディスクのセクタサイズ（%2$sバイト）と一致しません");
constexpr Text allocatedPastEndText =
    N_("ボリュームがファイルの終わりを超えており、その先のクラスタ %1$s が使用中です");
constexpr Text sectorMissingText =
    N_("ディスクイメージに記録されていないセクタがあります（セクタ %1$s）");
constexpr Text sectorMissingInText =
    N_("%1$s のセクタがディスクイメージに記録されていません（セクタ %2$s）");
constexpr Text sectorAliasedText =
    N_("ディスクイメージに二重に記録されたセクタがあります（セクタ %1$s）");
constexpr Text sectorAliasedInText =
    N_("%1$s のセクタがディスクイメージに二重に記録されています（セクタ %2$s）");
constexpr Text badSectorText =
    N_("%1$s に読み取り不良として記録されたセクタがあります（セクタ %2$s）");

constexpr Text fixNoneText = N_("修復しません（報告のみ）");
constexpr Text fixWriteFatText = N_("コピー%1$sのFATをすべてのコピーに書き込みます");
constexpr Text fixCutChainText = N_("チェーンをサイズで切り、残りをFOUND.000に保存します");
constexpr Text fixCutSizeText = N_("サイズをチェーンに合わせて切り詰めます");
constexpr Text fixCopySharedText = N_("共有しているクラスタをファイルごとにコピーします");
constexpr Text fixRecoverText = N_("チェーンをFOUND.000にファイルとして保存します");
constexpr Text fixMarkDeletedText = N_("エントリを削除済みにします");
constexpr Text fixRemoveSlotsText = N_("長いファイル名のスロットを取り除きます");
constexpr Text fixMendDotsText = N_("「.」と「..」を正しく書き直します");

// A message names a few numbers of a list and leaves the rest out.
constexpr std::size_t listedNumbers = 8;

template <typename Number> std::string numberList(const std::vector<Number>& numbers) {
    std::string out;
    for (std::size_t i = 0; i < numbers.size() && i < listedNumbers; ++i) {
        out += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    }
    if (numbers.size() > listedNumbers) {
        out += ", …";
    }
    return out;
}

std::string pathAt(const VolumeProblem& problem, std::size_t index) {
    return index < problem.paths.size() ? problem.paths[index] : std::string("/");
}

std::string firstCluster(const VolumeProblem& problem) {
    return problem.clusters.empty() ? std::string("-") : std::to_string(problem.clusters.front());
}

std::string hexValue(std::int64_t value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    out += digits[(value >> 4) & 0xF];
    out += digits[value & 0xF];
    return out;
}

} // namespace

std::string_view problemCode(ProblemKind kind) {
    switch (kind) {
    case ProblemKind::fatCopiesDiffer:
        return "fatCopiesDiffer";
    case ProblemKind::crossLink:
        return "crossLink";
    case ProblemKind::chainLoop:
        return "chainLoop";
    case ProblemKind::chainIntoFree:
        return "chainIntoFree";
    case ProblemKind::chainIntoReserved:
        return "chainIntoReserved";
    case ProblemKind::chainOutOfRange:
        return "chainOutOfRange";
    case ProblemKind::chainLongerThanSize:
        return "chainLongerThanSize";
    case ProblemKind::chainShorterThanSize:
        return "chainShorterThanSize";
    case ProblemKind::lostChain:
        return "lostChain";
    case ProblemKind::invalidName:
        return "invalidName";
    case ProblemKind::invalidAttributes:
        return "invalidAttributes";
    case ProblemKind::invalidStartCluster:
        return "invalidStartCluster";
    case ProblemKind::duplicateName:
        return "duplicateName";
    case ProblemKind::entryAfterEnd:
        return "entryAfterEnd";
    case ProblemKind::badDotEntry:
        return "badDotEntry";
    case ProblemKind::badDotDotEntry:
        return "badDotDotEntry";
    case ProblemKind::directoryCycle:
        return "directoryCycle";
    case ProblemKind::orphanLongName:
        return "orphanLongName";
    case ProblemKind::longNameChecksum:
        return "longNameChecksum";
    case ProblemKind::bootSectorMismatch:
        return "bootSectorMismatch";
    case ProblemKind::sectorMissing:
        return "sectorMissing";
    case ProblemKind::sectorAliased:
        return "sectorAliased";
    case ProblemKind::badSector:
        return "badSector";
    }
    return "unknown";
}

std::string_view fixCode(FixKind fix) {
    switch (fix) {
    case FixKind::none:
        return "none";
    case FixKind::writeAgreeingFatCopy:
        return "writeAgreeingFatCopy";
    case FixKind::cutChain:
        return "cutChain";
    case FixKind::cutSize:
        return "cutSize";
    case FixKind::copySharedClusters:
        return "copySharedClusters";
    case FixKind::recoverLostChain:
        return "recoverLostChain";
    case FixKind::markDeleted:
        return "markDeleted";
    case FixKind::removeLongNameSlots:
        return "removeLongNameSlots";
    case FixKind::mendDotEntries:
        return "mendDotEntries";
    }
    return "unknown";
}

std::string describeProblem(const VolumeProblem& p) {
    const std::string path = pathAt(p, 0);
    const auto chainClusters = static_cast<std::int64_t>(p.clusters.size());
    switch (p.kind) {
    case ProblemKind::fatCopiesDiffer:
        return fatCopiesDifferText(p.clusters.size(), p.agreeingCopy.value_or(1));
    case ProblemKind::crossLink:
        return translatePlural("クロスリンク: %1$s と %2$s がクラスタ %3$s を共有しています",
                               "クロスリンク: %1$s と %2$s がクラスタ %3$s を共有しています",
                               p.clusters.size(), {path, pathAt(p, 1), numberList(p.clusters)});
    case ProblemKind::chainLoop:
        return chainLoopText(path, firstCluster(p));
    case ProblemKind::chainIntoFree:
        return chainIntoFreeText(path, firstCluster(p));
    case ProblemKind::chainIntoReserved:
        return chainIntoReservedText(path, firstCluster(p));
    case ProblemKind::chainOutOfRange:
        return chainOutOfRangeText(path, firstCluster(p));
    case ProblemKind::chainLongerThanSize:
        return chainLongerText(path, p.bytes, chainClusters);
    case ProblemKind::chainShorterThanSize:
        return chainShorterText(path, p.bytes, chainClusters);
    case ProblemKind::lostChain:
        return translatePlural(
            "どのファイルにも属さないクラスタチェーン: クラスタ %1$s から %2$s個（%3$sバイト）",
            "どのファイルにも属さないクラスタチェーン: クラスタ %1$s から %2$s個（%3$sバイト）",
            p.clusters.size(), {firstCluster(p), chainClusters, p.bytes});
    case ProblemKind::invalidName:
        return invalidNameText(path);
    case ProblemKind::invalidAttributes:
        return invalidAttributesText(path, hexValue(p.bytes));
    case ProblemKind::invalidStartCluster:
        return invalidStartClusterText(path, firstCluster(p));
    case ProblemKind::duplicateName:
        return duplicateNameText(path);
    case ProblemKind::entryAfterEnd:
        return entryAfterEndText(path);
    case ProblemKind::badDotEntry:
        return badDotEntryText(path);
    case ProblemKind::badDotDotEntry:
        return badDotDotEntryText(path);
    case ProblemKind::directoryCycle:
        return directoryCycleText(path, pathAt(p, 1));
    case ProblemKind::orphanLongName:
        return orphanLongNameText(path, p.bytes);
    case ProblemKind::longNameChecksum:
        return longNameChecksumText(path);
    case ProblemKind::bootSectorMismatch:
        return p.clusters.empty() ? sectorSizeMismatchText(p.bytes, p.expected)
                                  : allocatedPastEndText(numberList(p.clusters));
    case ProblemKind::sectorMissing:
        return p.paths.empty() ? sectorMissingText(numberList(p.sectors))
                               : sectorMissingInText(path, numberList(p.sectors));
    case ProblemKind::sectorAliased:
        return p.paths.empty() ? sectorAliasedText(numberList(p.sectors))
                               : sectorAliasedInText(path, numberList(p.sectors));
    case ProblemKind::badSector:
        return badSectorText(path, numberList(p.sectors));
    }
    return std::string(problemCode(p.kind));
}

std::string describeFix(const VolumeProblem& p) {
    switch (p.fix) {
    case FixKind::none:
        return fixNoneText.str();
    case FixKind::writeAgreeingFatCopy:
        return fixWriteFatText(p.agreeingCopy.value_or(1));
    case FixKind::cutChain:
        return fixCutChainText.str();
    case FixKind::cutSize:
        return fixCutSizeText.str();
    case FixKind::copySharedClusters:
        return fixCopySharedText.str();
    case FixKind::recoverLostChain:
        return fixRecoverText.str();
    case FixKind::markDeleted:
        return fixMarkDeletedText.str();
    case FixKind::removeLongNameSlots:
        return fixRemoveSlotsText.str();
    case FixKind::mendDotEntries:
        return fixMendDotsText.str();
    }
    return std::string(fixCode(p.fix));
}

} // namespace tamberlane
