#pragma once
// The texts the customer reads in the tool's boxes and windows, in one place
// for the tool and for the vendor's site checker, which quotes them in its
// findings. Every translation unit gets them in its own execution character
// set (code page 932 in the tool, UTF-8 in the checker); constants at
// namespace scope have internal linkage, so the two forms never meet as one
// definition in a program that holds both.
namespace texts {

// The fetches' message box captions.
constexpr char kCatalogCaption[] = "VELTA Download";
constexpr char kFileListCaption[] = "Download";

constexpr char kCatalogCommunicationError[] =
    "ダウンロードカタログを取得中に、サーバーとの通信でエラーが発生しました。"
    "インターネットが正しく接続されてるか確認してください。";
// Without a closing full stop, as the tool has always shown it.
constexpr char kCatalogUndefinedError[] =
    "ダウンロードカタログを取得中に、未定義のエラーが発生しました";
constexpr char kCatalogNoResponse[] =
    "ダウンロードカタログを取得で、サーバーからの応答がありません。"
    "インターネットが正しく接続されてるか確認してください。";
constexpr char kUpdateNotice[] =
    "現バージョンVELTA DLはご利用頂けません。"
    "VELTAサポートページより新しいVELTA DLをダウンロードしてご利用ください。";
constexpr char kNoProducts[] = "ご利用頂ける製品はありません。";
constexpr char kFileListFailure[] = "ダウンロードファイルリストが取得できませんでした。";

// The selection dialog's status line.
constexpr char kSelectPrompt[] =
    "ダウンロードしたい製品を選択し、セットアップ開始ボタンをクリックしてください。";
constexpr char kCatalogFailedStatus[] = "ダウンロードカタログの取得に失敗しました。";

// The download run: the work folder, the progress window, each file, the setup.
constexpr char kNoDestination[] = "ダウンロード先の取得に失敗しました。";
constexpr char kNoDestinationCaption[] = "ダウンロード失敗";
// printf format: the 1-based number of the file, then the number of files.
// "ダウンロド" without the long vowel mark, as the tool has always shown it.
constexpr char kFileCounterFormat[] = "%d番目のファイルをダウンロド中 / 全%d件";
// printf formats of the progress line, shown one after the other: done and
// total bytes (in GB from a total of 11 GiB on, otherwise in MB), the
// speed in MB/s and the remaining time as minutes:seconds.
constexpr char kProgressSizeGbFormat[] = "%.2fGB / %.2fGB";
constexpr char kProgressSizeMbFormat[] = "%.1fMB / %.1fMB";
constexpr char kProgressSpeedFormat[] = " ( %.1fMB/s ) ";
constexpr char kProgressTimeFormat[] = "  %02d:%02d\n";
constexpr char kCancelNotice[] = "ダウンロードを中止しました。";
constexpr char kCancelCaption[] = "ダウンロード中止";
constexpr char kDownloadFailure[] = "ダウンロードに失敗しました。";
constexpr char kDownloadFailureCaption[] = "接続エラー";
constexpr char kSetupFailure[] = "ダウンロードファイルの実行に失敗しました。";
constexpr char kSetupFailureCaption[] = "実行失敗";

// Appended to every titled window's title in the in-house test mode.
constexpr char kTestModeTitleSuffix[] = " [社内テストモード]";

}  // namespace texts
