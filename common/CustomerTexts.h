#pragma once
// The texts the customer reads in the tool's boxes and dialog, in one place
// for the tool and for the vendor's site checker, which quotes them in its
// findings. Every translation unit gets them in its own execution character
// set (code page 932 in the tool, UTF-8 in the checker); constants at
// namespace scope have internal linkage, so the two forms never meet as one
// definition in a program that holds both.
namespace texts {

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
constexpr char kDownloadFailure[] = "ダウンロードに失敗しました。";
constexpr char kSetupFailure[] = "ダウンロードファイルの実行に失敗しました。";

}  // namespace texts
