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
    // On Linux the system category's values are errno values too (std::filesystem reports
    // through it); both get the description in the interface's language.
    const bool isErrno =
        code.category() == std::generic_category() || code.category() == std::system_category();
    e.text_ = isErrno ? systemErrorText(code.value()) : code.message();
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
    return refusedChange(
        translate("ボリュームの配置が壊れています（予約セクタ・FAT・ルートディレクト"
                  "リ・データ領域がブートセクタや互いに重なっているか、イメージの外"
                  "にあります）"),
        Reason::unsafeVolume);
}

DiskImageError DiskImageError::fatCopiesDiffer() {
    return refusedChange(translate("FATのコピーが一致しません"), Reason::unsafeVolume);
}

DiskImageError DiskImageError::bootParametersChanged() {
    return refusedChange(
        translate("ブートセクタのパラメータが変更されました。開き直すまで変更できません"),
        Reason::bootParametersChanged);
}

DiskImageError DiskImageError::metadataNotStorable() {
    return refusedChange(
        translate("ブートセクタ・FAT・ルートディレクトリのセクタをD88ファイルに保存できません"
                  "（セクタのレコードがないか、複数のトラックが同じデータを指しています）"),
        Reason::unsafeVolume);
}

DiskImageError DiskImageError::searchedVolumeUnconfirmed(std::int64_t offset) {
    return refusedChange(translate("ボリュームはブートセクタの検索でオフセット %1$s "
                                   "バイトに見つかったものです。変更するには確認が必要です",
                                   {offset}),
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
                    translate("ディスクイメージが他のプログラムによって変更されました。"
                              "開き直してください。"));
}

DiskImageError DiskImageError::imageFileMoved() {
    return verbatim(Kind::writeProtected, Reason::imageFileMoved,
                    translate("ディスクイメージが移動または削除されました。開き直してください。"));
}

DiskImageError DiskImageError::imageFileOpenForWriting() {
    return verbatim(Kind::writeProtected, Reason::imageFileOpenForWriting,
                    translate("ディスクイメージは他のプログラムが書き込み用に開いています。"
                              "そのプログラムを閉じてから変更してください。"));
}

DiskImageError DiskImageError::hostSpaceShort(std::int64_t required, std::int64_t available) {
    DiskImageError e = verbatim(
        Kind::ioError, Reason::none,
        translate("ディスクイメージを保存できませんでした。ホストの空き容量が不足しています（必要: "
                  "%1$s バイト、空き: %2$s バイト）",
                  {required, available}));
    e.first_ = ENOSPC;
    return e;
}

bool DiskImageError::asksToReopen() const {
    return reason_ == Reason::imageFileChanged || reason_ == Reason::imageFileMoved ||
           reason_ == Reason::imageFileOpenForWriting;
}

DiskImageError DiskImageError::hostFileExists(const std::string& path) {
    return ioError(translate("書き出し先に同名のファイルが既に存在します: %1$s", {path}), EEXIST)
        .withReason(Reason::nameClash);
}

DiskImageError DiskImageError::exportOntoOpenImage(const std::string& path) {
    return ioError(translate("書き出し先が開いているディスクイメージと同じファイルのため、"
                             "書き出しませんでした: %1$s",
                             {path}),
                   EEXIST);
}

DiskImageError DiskImageError::hostFileLocked() {
    return lockConflict(
        translate("ファイルのロックを取得できませんでした。他のプロセスが使用中です。"));
}

DiskImageError DiskImageError::nameClash(const std::string& name, const std::string& existing) {
    return encodingError(existing.empty()
                             ? translate("同名のファイルが既に存在します: %1$s", {name})
                             : translate("同名のファイルが既に存在します: %1$s（既存: %2$s）",
                                         {name, existing}))
        .withReason(Reason::nameClash);
}

DiskImageError DiskImageError::directoryExists(const std::string& name) {
    return encodingError(translate("同名のディレクトリが既に存在します: %1$s", {name}))
        .withReason(Reason::directoryExists);
}

DiskImageError DiskImageError::nameTakenInBatch(const std::string& name,
                                                const std::string& existing) {
    return nameClash(name, existing).withReason(Reason::nameTakenInBatch);
}

DiskImageError DiskImageError::ambiguousName(const std::string& name) {
    return headerParseFailure(translate("名前が複数のエントリに一致します: %1$s", {name}))
        .withReason(Reason::ambiguousName);
}

DiskImageError DiskImageError::targetExists(const std::string& path) {
    return ioError(translate("ファイルが既に存在します: %1$s", {path}), EEXIST)
        .withReason(Reason::targetExists);
}

DiskImageError DiskImageError::sameFileAsSource(const std::string& path) {
    return ioError(translate("変換先は変換元と同じファイルです: %1$s", {path}))
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
        translate("このディスクイメージは%1$s形式に変換できません（ヘッダのない形式はセクタ長を"
                  "記録できないため、%2$s バイトのセクタで置かれたパーティションが見つからなく"
                  "なります）",
                  {formatName, bytesPerSector}));
}

DiskImageError DiskImageError::entryNotFound(const std::string& name) {
    return headerParseFailure(translate("エントリが見つかりません: %1$s", {name}))
        .withReason(Reason::entryNotFound);
}

DiskImageError DiskImageError::staleEntry(const std::string& name) {
    return entryNotFound(name).withReason(Reason::staleEntry);
}

DiskImageError DiskImageError::directoryNotFound(const std::string& name) {
    return headerParseFailure(translate("ディレクトリ '%1$s' が見つかりません", {name}))
        .withReason(Reason::directoryNotFound);
}

DiskImageError DiskImageError::intoItself(const std::string& name) {
    return headerParseFailure(translate("ディレクトリをそれ自身の中へは置けません: %1$s", {name}))
        .withReason(Reason::intoItself);
}

DiskImageError DiskImageError::notRegularFile(const std::string& name) {
    return ioError(translate("通常のファイルではありません: %1$s", {name}), EINVAL)
        .withReason(Reason::notRegularFile);
}

DiskImageError DiskImageError::reservedName(const std::string& name) {
    return encodingError(translate("この名前は使用できません: %1$s", {name}))
        .withReason(Reason::reservedName);
}

DiskImageError DiskImageError::nameTooLong(const std::string& name) {
    return verbatim(Kind::encodingError, Reason::nameTooLong,
                    translate("名前が長すぎます（最大 255 文字）: %1$s", {name}));
}

DiskImageError DiskImageError::sectorNotRecorded(std::int64_t lba) {
    return ioError(translate("このセクタはディスクイメージに記録されていません（LBA %1$s）", {lba}),
                   EINVAL);
}

DiskImageError DiskImageError::rootDirectoryFull(std::int64_t maxEntries) {
    return verbatim(
        Kind::diskFull, Reason::rootDirectoryFull,
        translate("ルートディレクトリに空きがありません（最大 %1$s 項目）", {maxEntries}));
}

DiskImageError DiskImageError::fatTableShort(int bits, std::int64_t size, std::int64_t needed) {
    return fatCorruption(translate("FAT%1$sテーブルのデータが不足しています（%2$sバイト、%3$sバイト"
                                   "必要）",
                                   {bits, size, needed}));
}

DiskImageError DiskImageError::volumeExceedsGeometry(std::int64_t volumeBytes,
                                                     std::int64_t geometryBytes) {
    return invalidBPB(
        translate("ボリューム（%1$s バイト）が変換先のジオメトリ（%2$s バイト）に収まりません",
                  {volumeBytes, geometryBytes}));
}

DiskImageError DiskImageError::exportedTwice(const std::string& path) {
    return ioError(translate("同じ名前のファイルをこの書き出しで既に書き出したため、"
                             "書き出しませんでした: %1$s",
                             {path}),
                   EEXIST);
}

DiskImageError DiskImageError::headerTooShort(const std::string& container, std::int64_t needed,
                                              std::int64_t got) {
    return headerParseFailure(
        translate("%1$sヘッダに必要なデータが不足しています（必要: %2$sバイト、実際: %3$sバイト）",
                  {container, needed, got}));
}

DiskImageError DiskImageError::headerTooShort(const std::string& container) {
    return headerParseFailure(translate("%1$sヘッダに必要なデータが不足しています", {container}));
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
    return headerParseFailure(translate("ディレクトリが見つかりません: %1$s", {component}))
        .withReason(Reason::directoryNotFound);
}

} // namespace tamberlane
