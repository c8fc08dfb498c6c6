#include "engine/base/DiskImageError.h"

#include "engine/base/Translation.h"

#include <cerrno>
#include <cstring>

namespace tamberlane {

namespace {

std::string joinNumbers(const std::vector<std::int64_t>& numbers) {
    std::string out;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += std::to_string(numbers[i]);
    }
    return out;
}

} // namespace

DiskImageError& DiskImageError::finish() {
    message_ = errorDescription();
    return *this;
}

DiskImageError DiskImageError::unsupportedFormat(std::string ext) {
    DiskImageError e(Kind::unsupportedFormat);
    e.text_ = std::move(ext);
    return e.finish();
}

DiskImageError DiskImageError::invalidFileSize(std::vector<std::int64_t> expected,
                                               std::int64_t actual) {
    DiskImageError e(Kind::invalidFileSize);
    e.expected_ = std::move(expected);
    e.first_ = actual;
    return e.finish();
}

DiskImageError DiskImageError::headerParseFailure(std::string text) {
    DiskImageError e(Kind::headerParseFailure);
    e.text_ = std::move(text);
    return e.finish();
}

DiskImageError DiskImageError::invalidBPB(std::string text) {
    DiskImageError e(Kind::invalidBPB);
    e.text_ = std::move(text);
    return e.finish();
}

DiskImageError DiskImageError::fatCorruption(std::string text) {
    DiskImageError e(Kind::fatCorruption);
    e.text_ = std::move(text);
    return e.finish();
}

DiskImageError DiskImageError::circularReference(std::uint16_t cluster) {
    DiskImageError e(Kind::clusterChainError);
    e.chainType_ = ClusterChainErrorType::circularReference;
    e.first_ = cluster;
    return e.finish();
}

DiskImageError DiskImageError::invalidCluster(std::uint16_t cluster) {
    DiskImageError e(Kind::clusterChainError);
    e.chainType_ = ClusterChainErrorType::invalidCluster;
    e.first_ = cluster;
    return e.finish();
}

DiskImageError DiskImageError::diskFull(std::int64_t required, std::int64_t available) {
    DiskImageError e(Kind::diskFull);
    e.first_ = required;
    e.second_ = available;
    return e.finish();
}

DiskImageError DiskImageError::lockConflict(std::string text) {
    DiskImageError e(Kind::lockConflict);
    e.text_ = std::move(text);
    return e.finish();
}

DiskImageError DiskImageError::ioError(std::error_code code) {
    DiskImageError e(Kind::ioError);
    e.text_ =
        code.category() == std::generic_category() ? systemErrorText(code.value()) : code.message();
    e.first_ = code.value();
    return e.finish();
}

DiskImageError DiskImageError::ioErrorFromErrno(int errnoValue) {
    return ioError(std::error_code(errnoValue, std::generic_category()));
}

DiskImageError DiskImageError::ioError(std::string description, int code) {
    DiskImageError e(Kind::ioError);
    e.text_ = std::move(description);
    e.first_ = code;
    return e.finish();
}

DiskImageError DiskImageError::encodingError(std::string text) {
    DiskImageError e(Kind::encodingError);
    e.text_ = std::move(text);
    return e.finish();
}

DiskImageError DiskImageError::directoryDepthExceeded(std::int64_t depth) {
    DiskImageError e(Kind::directoryDepthExceeded);
    e.first_ = depth;
    return e.finish();
}

DiskImageError DiskImageError::writeProtected() {
    DiskImageError e(Kind::writeProtected);
    return e.finish();
}

// A writeProtected error whose text says why this volume in particular is not changed.
DiskImageError DiskImageError::refusedChange(std::string why, Reason reason) {
    DiskImageError e(Kind::writeProtected);
    e.text_ = std::move(why);
    e.reason_ = reason;
    return e.finish();
}

DiskImageError DiskImageError::unsafeVolumeLayout() {
    return refusedChange("ボリュームの配置が壊れています（予約セクタ・FAT・ルートディレクトリ・"
                         "データ領域がブートセクタや互いに重なっているか、イメージの外にあります）",
                         Reason::unsafeVolume);
}

DiskImageError DiskImageError::fatCopiesDiffer() {
    return refusedChange("FATのコピーが一致しません", Reason::unsafeVolume);
}

DiskImageError DiskImageError::bootParametersChanged() {
    return refusedChange("ブートセクタのパラメータが変更されました。開き直すまで変更できません",
                         Reason::bootParametersChanged);
}

DiskImageError DiskImageError::metadataNotStorable() {
    return refusedChange(
        "ブートセクタ・FAT・ルートディレクトリのセクタをD88ファイルに保存できません"
        "（セクタのレコードがないか、複数のトラックが同じデータを指しています）",
        Reason::unsafeVolume);
}

DiskImageError DiskImageError::searchedVolumeUnconfirmed(std::int64_t offset) {
    return refusedChange("ボリュームはブートセクタの検索でオフセット " + std::to_string(offset) +
                             " バイトに見つかったものです。変更するには確認が必要です",
                         Reason::unconfirmedVolume);
}

DiskImageError DiskImageError::verbatim(Kind kind, Reason reason, std::string message) {
    DiskImageError e(kind);
    e.text_ = std::move(message);
    e.reason_ = reason;
    e.verbatim_ = true;
    return e.finish();
}

DiskImageError DiskImageError::imageFileChanged() {
    return verbatim(Kind::writeProtected, Reason::imageFileChanged,
                    "ディスクイメージが他のプログラムによって変更されました。開き直してください。");
}

DiskImageError DiskImageError::imageFileMoved() {
    return verbatim(Kind::writeProtected, Reason::imageFileMoved,
                    "ディスクイメージが移動または削除されました。開き直してください。");
}

DiskImageError DiskImageError::imageFileOpenForWriting() {
    return verbatim(Kind::writeProtected, Reason::imageFileOpenForWriting,
                    "ディスクイメージは他のプログラムが書き込み用に開いています。"
                    "そのプログラムを閉じてから変更してください。");
}

DiskImageError DiskImageError::hostSpaceShort(std::int64_t required, std::int64_t available) {
    DiskImageError e = verbatim(
        Kind::ioError, Reason::none,
        "ディスクイメージを保存できませんでした。ホストの空き容量が不足しています（必要: " +
            std::to_string(required) + " バイト、空き: " + std::to_string(available) + " バイト）");
    e.first_ = ENOSPC;
    return e;
}

bool DiskImageError::asksToReopen() const {
    return reason_ == Reason::imageFileChanged || reason_ == Reason::imageFileMoved ||
           reason_ == Reason::imageFileOpenForWriting;
}

DiskImageError DiskImageError::hostFileExists(const std::string& path) {
    return ioError("書き出し先に同名のファイルが既に存在します: " + path, EEXIST)
        .withReason(Reason::nameClash);
}

DiskImageError DiskImageError::exportOntoOpenImage(const std::string& path) {
    return ioError(
        "書き出し先が開いているディスクイメージと同じファイルのため、書き出しませんでした: " + path,
        EEXIST);
}

DiskImageError DiskImageError::hostFileLocked() {
    return lockConflict("ファイルのロックを取得できませんでした。他のプロセスが使用中です。");
}

DiskImageError DiskImageError::nameClash(const std::string& name, const std::string& existing) {
    return encodingError("同名のファイルが既に存在します: " + name +
                         (existing.empty() ? "" : "（既存: " + existing + "）"))
        .withReason(Reason::nameClash);
}

DiskImageError DiskImageError::directoryExists(const std::string& name) {
    return encodingError("同名のディレクトリが既に存在します: " + name)
        .withReason(Reason::directoryExists);
}

DiskImageError DiskImageError::nameTakenInBatch(const std::string& name,
                                                const std::string& existing) {
    return nameClash(name, existing).withReason(Reason::nameTakenInBatch);
}

DiskImageError DiskImageError::ambiguousName(const std::string& name) {
    return headerParseFailure("名前が複数のエントリに一致します: " + name)
        .withReason(Reason::ambiguousName);
}

DiskImageError DiskImageError::targetExists(const std::string& path) {
    return ioError("ファイルが既に存在します: " + path, EEXIST).withReason(Reason::targetExists);
}

DiskImageError DiskImageError::sameFileAsSource(const std::string& path) {
    return ioError("変換先は変換元と同じファイルです: " + path)
        .withReason(Reason::sameFileAsSource);
}

DiskImageError DiskImageError::conversionMismatch(std::string what) {
    DiskImageError e(Kind::conversionMismatch);
    e.text_ = std::move(what);
    return e.finish();
}

DiskImageError DiskImageError::sectorSizeNotRecordable(const std::string& formatName,
                                                       std::int64_t bytesPerSector) {
    return unsupportedFormat(
        "このディスクイメージは" + formatName +
        "形式に変換できません（ヘッダのない形式はセクタ長を記録できないため、" +
        std::to_string(bytesPerSector) +
        " バイトのセクタで置かれたパーティションが見つからなくなります）");
}

DiskImageError DiskImageError::entryNotFound(const std::string& name) {
    return headerParseFailure("エントリが見つかりません: " + name)
        .withReason(Reason::entryNotFound);
}

DiskImageError DiskImageError::staleEntry(const std::string& name) {
    return entryNotFound(name).withReason(Reason::staleEntry);
}

DiskImageError DiskImageError::directoryNotFound(const std::string& name) {
    return headerParseFailure("ディレクトリ '" + name + "' が見つかりません")
        .withReason(Reason::directoryNotFound);
}

DiskImageError DiskImageError::intoItself(const std::string& name) {
    return headerParseFailure("ディレクトリをそれ自身の中へは置けません: " + name)
        .withReason(Reason::intoItself);
}

DiskImageError DiskImageError::notRegularFile(const std::string& name) {
    return ioError("通常のファイルではありません: " + name, EINVAL)
        .withReason(Reason::notRegularFile);
}

DiskImageError DiskImageError::reservedName(const std::string& name) {
    return encodingError("この名前は使用できません: " + name).withReason(Reason::reservedName);
}

DiskImageError DiskImageError::nameTooLong(const std::string& name) {
    return verbatim(Kind::encodingError, Reason::nameTooLong,
                    "名前が長すぎます（最大 255 文字）: " + name);
}

DiskImageError DiskImageError::sectorNotRecorded(std::int64_t lba) {
    return ioError("このセクタはディスクイメージに記録されていません（LBA " + std::to_string(lba) +
                       "）",
                   EINVAL);
}

DiskImageError DiskImageError::rootDirectoryFull(std::int64_t maxEntries) {
    return verbatim(Kind::diskFull, Reason::rootDirectoryFull,
                    "ルートディレクトリに空きがありません（最大 " + std::to_string(maxEntries) +
                        " 項目）");
}

DiskImageError DiskImageError::fatTableShort(int bits, std::int64_t size, std::int64_t needed) {
    return fatCorruption("FAT" + std::to_string(bits) + "テーブルのデータが不足しています（" +
                         std::to_string(size) + "バイト、" + std::to_string(needed) +
                         "バイト必要）");
}

DiskImageError DiskImageError::volumeExceedsGeometry(std::int64_t volumeBytes,
                                                     std::int64_t geometryBytes) {
    return invalidBPB("ボリューム（" + std::to_string(volumeBytes) +
                      " バイト）が変換先のジオメトリ（" + std::to_string(geometryBytes) +
                      " バイト）に収まりません");
}

DiskImageError DiskImageError::exportedTwice(const std::string& path) {
    return ioError("同じ名前のファイルをこの書き出しで既に書き出したため、書き出しませんでした: " +
                       path,
                   EEXIST);
}

DiskImageError DiskImageError::headerTooShort(const std::string& container, std::int64_t needed,
                                              std::int64_t got) {
    return headerParseFailure(
        container + "ヘッダに必要なデータが不足しています（必要: " + std::to_string(needed) +
        "バイト、実際: " + std::to_string(got) + "バイト）");
}

DiskImageError DiskImageError::headerTooShort(const std::string& container) {
    return headerParseFailure(container + "ヘッダに必要なデータが不足しています");
}

std::string DiskImageError::errorDescription() const {
    if (verbatim_) {
        return text_;
    }
    switch (kind_) {
    case Kind::unsupportedFormat:
        return translate("サポートされていないディスクイメージ形式です: %1$s", {text_});
    case Kind::invalidFileSize:
        return translate("ファイルサイズが不正です。期待値: %1$s バイト、実際: %2$s バイト",
                         {joinNumbers(expected_), first_});
    case Kind::headerParseFailure:
        return translate("ヘッダの解析に失敗しました: %1$s", {text_});
    case Kind::invalidBPB:
        return translate("BPBの値が不正です: %1$s", {text_});
    case Kind::fatCorruption:
        return translate("FATテーブルが破損しています: %1$s", {text_});
    case Kind::clusterChainError:
        if (chainType_ == ClusterChainErrorType::circularReference) {
            return translate("クラスタチェーンに循環参照があります（クラスタ: %1$s）", {first_});
        }
        return translate("不正なクラスタ番号です: %1$s", {first_});
    case Kind::diskFull:
        return translate("ディスク容量が不足しています。必要: %1$s バイト、空き: %2$s バイト",
                         {first_, second_});
    case Kind::lockConflict:
        return translate("ファイルのロック競合が発生しました: %1$s", {text_});
    case Kind::ioError:
        return translate("I/Oエラーが発生しました: %1$s", {text_});
    case Kind::encodingError:
        return translate("文字エンコーディングエラー: %1$s", {text_});
    case Kind::directoryDepthExceeded:
        return translate("ディレクトリの再帰深度が上限(%1$s)を超えました", {first_});
    case Kind::writeProtected:
        if (!text_.empty()) {
            return translate("このボリュームは変更できません: %1$s", {text_});
        }
        return translate("ディスクイメージはライトプロテクトされています");
    case Kind::conversionMismatch:
        return translate("変換したイメージを読み直すと元のディスクと一致しません: %1$s", {text_});
    }
    return {};
}

DiskImageError DiskImageError::directoryNotListed(const std::string& component) {
    return headerParseFailure("ディレクトリが見つかりません: " + component)
        .withReason(Reason::directoryNotFound);
}

} // namespace tamberlane
