#include "editor/HelpTexts.h"

namespace oxlade
{
namespace
{
    struct Row
    {
        const char* key;
        const char* english;
        const char* japanese;
    };

    // Control names stay in English in the Japanese texts: they are the labels printed on the panel.
    const Row rows[] = {
        { "bypass", "Bypasses the entire plugin processing chain. The dry signal passes through unprocessed.", "プラグイン全体の処理をバイパスします。入力信号がそのまま出力されます。" },
        { "polarity", "Inverts the polarity (phase) of the output signal.", "出力信号の極性（位相）を反転します。" },
        { "presetAB", "Switches between Preset A and Preset B for instant A/B comparison.", "Preset A と Preset B を切り替え、すぐに A/B 比較ができます。" },
        { "msStereoMode", "Switches between L/R stereo mode and M/S stereo mode. When combined with the Analog Expansion feature, the signals are processed through their respective independent hardware channels. Not available on mono tracks.", "L/R ステレオモードと M/S ステレオモードを切り替えます。Analog Expansion 機能と組み合わせると、それぞれの信号がハードウェアの独立したチャンネルを通して処理されます。モノラルトラックでは使用できません。" },
        { "helpToggle", "Toggles the help overlay. When enabled, hovering over any control shows a description.", "ヘルプ表示を ON/OFF します。有効時は、各コントロールにマウスを重ねると説明が表示されます。" },
        { "copyLR", "Copies EQ settings from the selected channel to the opposite channel. L>R when L is selected, R>L when R is selected (M>S or S>M in M/S mode). Available only when Stereo Link is off.", "選択中のチャンネルの EQ 設定を反対側のチャンネルへコピーします。L 選択時は L>R、R 選択時は R>L（M/S モードでは M>S または S>M）。Stereo Link がオフのときのみ有効です。" },
        { "inputTrim", "Adjusts the input level within ±24 dB. Nominal reference: +4 dBu = -18 dBFS. Oxlade has very generous headroom — to bring out a stronger analog-like character, push the signal harder into the plugin with Input Trim.", "入力レベルを ±24 dB の範囲で調整します。基準レベル: +4 dBu = -18 dBFS。Oxlade のヘッドルームは非常に大きいため、より強いアナログらしいキャラクターを引き出したい場合は、Input Trim で信号をプラグインへより強く送り込んでください。" },
        { "outputTrim", "Adjusts the output level within ±24 dB.", "出力レベルを ±24 dB の範囲で調整します。" },
        { "unityGain", "When enabled, an internal gain automatically compensates when Input Trim is changed, maintaining unity gain through the plugin. The Output Trim knob itself does not move. Clicking cycles Off → Unity → Ref Cal (right-click or Ctrl+click cycles backward). In Ref Cal, the Auto Input result is held internally instead of moving the Input Trim knob, and is shown on the button (e.g. Ref Cal +6.2). Calibrating the source to the reference level before loading a preset makes the same preset behave identically on any source at any level.", "有効時は、Input Trim を変更すると内部ゲインが自動的に補正し、プラグイン全体のゲインをユニティに保ちます。Output Trim ノブ自体は動きません。クリックで Off → Unity → Ref Cal の順に切り替わります（右クリックまたは Ctrl+クリックで逆順）。Ref Cal では、Auto Input の結果を Input Trim ノブを動かさずに内部で保持し、ボタン上に表示します（例: Ref Cal +6.2）。プリセットを読み込む前にソースを基準レベルへキャリブレーションしておくと、どのソース・どのレベルでも同じプリセットが同じように働きます。" },
        { "unityToClip", "Unity > Clip — routes the Input Trim compensation into the Clip Drive instead of Output Trim: pushing Input Trim down drives the clipper harder while keeping the level. Takes priority over Unity. Turning it on also lights Unity; turning Unity off releases it.", "Unity > Clip — Input Trim の補正を Output Trim ではなく Clip Drive へ送ります。Input Trim を下げると、レベルを保ったままクリッパーをより強くドライブします。Unity より優先されます。オンにすると Unity も点灯し、Unity をオフにすると解除されます。" },
        { "eqOn", "Engages or bypasses the EQ section. Mirrors the hardware EQ IN switch.", "EQ セクションを有効／バイパスします。ハードウェアの EQ IN スイッチに対応しています。" },
        { "stereoLink", "Links the L/R (or M/S) EQ channels so both share the same settings. When off, each channel can be adjusted independently. Not available on mono tracks.", "L/R（または M/S）の EQ チャンネルをリンクし、両方で同じ設定を共有します。オフのときは各チャンネルを個別に調整できます。モノラルトラックでは使用できません。" },
        { "eqChannel", "Selects which channel's EQ is displayed and edited (L/R, or M/S in M/S mode). Available when Stereo Link is off. Not available on mono tracks.", "表示・編集する EQ のチャンネルを選択します（L/R、M/S モードでは M/S）。Stereo Link がオフのときに使用できます。モノラルトラックでは使用できません。" },
        { "fltr", "FLTR — 50 Hz - 15 kHz band-pass filter. Operates independently of EQ IN.", "FLTR — 50 Hz - 15 kHz のバンドパスフィルターです。EQ IN とは独立して動作します。" },
        { "stepGain", "Continuous Gain — when enabled, the EQ gain knobs move continuously. When disabled, they snap to the gain detents.", "Continuous Gain — 有効時、EQ Gain ノブは連続制御になります。無効時はゲインデテントへスナップします。" },
        { "stepFreq", "Continuous Frequency — when enabled, the EQ frequency knobs move continuously. When disabled, they snap to the frequency steps.", "Continuous Frequency — 有効時、EQ の周波数ノブは連続制御になります。無効時は周波数ステップへスナップします。" },
        { "contQ", "Continuous Q Control — normally the LMF/HMF bandwidth (Q) is tied to gain (proportional-Q). When enabled, you can set the LMF/HMF Q freely on the EQ Curve by scrolling the mouse wheel over its node; the Q value appears in the node's hover value popup. Range spans the measured minimum up to twice the measured maximum, for sharper-than-hardware Q.", "Continuous Q Control — 通常、LMF/HMF の帯域幅（Q）はゲインに連動します（プロポーショナル Q）。有効時は、EQ Curve 上のノードにマウスを重ねてホイールを回すと、LMF/HMF の Q を自由に設定できます。Q の値はノードのホバー値ポップアップに表示されます。範囲は実測の最小値から実測の最大値の二倍までで、ハードウェアより鋭い Q も設定できます。" },
        { "styleA", "Style selector — click to cycle Style B → Style A → Style BA (right-click or Ctrl+click cycles backwards). Style B (default) is the standard behaviour. Style A changes the LMF frequency steps to 200 / 400 / 600 / 800 Hz and 1.5 / 3 / 5 kHz. Style BA keeps the LMF on Style B's steps and moves the HMF band onto Style A's LMF steps (200 / 400 / 600 / 800 Hz and 1.5 / 3 / 5 kHz).", "Style セレクター — クリックで Style B → Style A → Style BA の順に切り替わります（右クリックまたは Ctrl+クリックで逆順）。Style B（デフォルト）は標準の動作です。Style A では LMF の周波数ステップが 200 / 400 / 600 / 800 Hz と 1.5 / 3 / 5 kHz に変わります。Style BA では LMF は Style B のステップのままで、HMF バンドが Style A の LMF ステップ（200 / 400 / 600 / 800 Hz と 1.5 / 3 / 5 kHz）になります。" },
        { "lfShelf", "LF band Bell / Shelf switch — Shelf reproduces the measured hardware shelf (the frequency label is the shelf corner, as on the real unit).", "LF バンドの Bell / Shelf 切り替えスイッチ — Shelf は実測したハードウェアのシェルフ特性を再現します（実機と同じく、周波数表示はシェルフのコーナー周波数です）。" },
        { "hfShelf", "HF band Bell / Shelf switch — Shelf reproduces the measured hardware shelf (the frequency label is the shelf corner, as on the real unit).", "HF バンドの Bell / Shelf 切り替えスイッチ — Shelf は実測したハードウェアのシェルフ特性を再現します（実機と同じく、周波数表示はシェルフのコーナー周波数です）。" },
        { "lfStep", "Low Frequency center frequency. Hardware steps: 30 / 40 / 50 / 100 / 200 / 300 / 400 Hz. Peak or shelf selectable.", "Low Frequency の中心周波数です。ハードウェアのステップ: 30 / 40 / 50 / 100 / 200 / 300 / 400 Hz。ピークとシェルフを選択できます。" },
        { "lfGain", "Low Frequency gain (±12 dB). Proportional-Q: Q widens at low gain settings and narrows at high gain. Right-click / Ctrl+click to bypass this band's gain.", "Low Frequency のゲイン（±12 dB）です。プロポーショナル Q: ゲインが小さいと Q は広く、大きいと狭くなります。右クリック / Ctrl+クリックでこのバンドのゲインをバイパスします。" },
        { "lmfFreq", "Low-Mid Frequency center frequency. Hardware steps: 75 / 150 / 180 / 240 / 500 / 700 / 1k Hz. The steps change with the Style selector.", "Low-Mid Frequency の中心周波数です。ハードウェアのステップ: 75 / 150 / 180 / 240 / 500 / 700 / 1k Hz。ステップは Style セレクターによって変わります。" },
        { "lmfGain", "Low-Mid Frequency gain (±12 dB). Proportional-Q peaking. Right-click / Ctrl+click to bypass this band's gain.", "Low-Mid Frequency のゲイン（±12 dB）です。プロポーショナル Q のピーキングです。右クリック / Ctrl+クリックでこのバンドのゲインをバイパスします。" },
        { "hmfFreq", "High-Mid Frequency center frequency. Hardware steps: 800 / 1.5k / 3k / 5k / 8k / 10k / 12.5k Hz. The steps change with the Style selector.", "High-Mid Frequency の中心周波数です。ハードウェアのステップ: 800 / 1.5k / 3k / 5k / 8k / 10k / 12.5k Hz。ステップは Style セレクターによって変わります。" },
        { "hmfGain", "High-Mid Frequency gain (±12 dB). Proportional-Q peaking. Right-click / Ctrl+click to bypass this band's gain.", "High-Mid Frequency のゲイン（±12 dB）です。プロポーショナル Q のピーキングです。右クリック / Ctrl+クリックでこのバンドのゲインをバイパスします。" },
        { "hfStep", "High Frequency center frequency. Hardware steps: 2.5k / 5k / 7k / 10k / 12.5k / 15k / 20k Hz. Peak or shelf selectable.", "High Frequency の中心周波数です。ハードウェアのステップ: 2.5k / 5k / 7k / 10k / 12.5k / 15k / 20k Hz。ピークとシェルフを選択できます。" },
        { "hfGain", "High Frequency gain (±12 dB). Proportional-Q: Q widens at low gain settings and narrows at high gain. Right-click / Ctrl+click to bypass this band's gain.", "High Frequency のゲイン（±12 dB）です。プロポーショナル Q: ゲインが小さいと Q は広く、大きいと狭くなります。右クリック / Ctrl+クリックでこのバンドのゲインをバイパスします。" },
        { "clipper", "Clipper mode — two buttons: Practical (0dBFS) is a hard clip limited at 0 dBFS, Accurate (+33dBu) is hardware-faithful gentle saturation with its ceiling at the real unit's clip point (≈ +33 dBu). Click a button to select it; click the lit button again to turn the clipper OFF. In Accurate mode the analog model can easily overshoot past 0 dBFS — if you need precise control of the digital ceiling, use a separate high-precision clipper or limiter.", "クリッパーモード — 二つのボタンがあります。Practical (0dBFS) は 0 dBFS で制限するハードクリップ、Accurate (+33dBu) は実機のクリップポイント（≈ +33 dBu）を上限とする、ハードウェアに忠実な穏やかなサチュレーションです。ボタンをクリックすると選択され、点灯中のボタンをもう一度クリックするとクリッパーが OFF になります。Accurate モードではアナログモデルが 0 dBFS を容易に超えることがあります — デジタルの上限を正確に管理したい場合は、別途高精度のクリッパーやリミッターを使用してください。" },
        { "clipperDrive", "Clip Gain: pre-gain (0 to +24 dB; −24 to +24 dB while Unity > Clip is ON) pushed into the clipper curve for louder, more saturated results while peaks stay at the ceiling. While Unity > Clip is OFF, negative values written by host automation are treated as 0 dB. Right-click / Ctrl+click to bypass this knob. The gain is applied whether or not the clipper is engaged — with Clipper OFF it acts as a plain level control after the nonlinear stage.", "Clip Gain: クリッパーカーブへ送り込むプリゲインです（0 〜 +24 dB。Unity > Clip が ON のときは −24 〜 +24 dB）。ピークを上限に保ったまま、より大きく、よりサチュレーションの強い結果が得られます。Unity > Clip が OFF のときは、ホストのオートメーションで書き込まれた負の値は 0 dB として扱われます。右クリック / Ctrl+クリックでこのノブをバイパスします。このゲインはクリッパーの有無にかかわらず適用されます — Clipper が OFF のときは、非線形段の後の単純なレベル調整として働きます。" },
        { "oversample", "Oversampling (1x / 2x / 4x) of the nonlinear section. Reduces aliasing of the saturation and clipper WITHOUT changing their character. Left-click cycles forward; right-click or Ctrl+click cycles backward.", "非線形セクションのオーバーサンプリング（1x / 2x / 4x）です。サチュレーションとクリッパーのキャラクターを変えずに、エイリアシングを低減します。左クリックで順方向、右クリックまたは Ctrl+クリックで逆方向に切り替わります。" },
        { "lecf", "Low End Clean Filter: tames low-end harmonic mud. {warn}Especially at high Drive settings, the analog modeling produces strong low-frequency distortion just like the real hardware. This can make the low end sound like it does not match modern music. If the low-frequency distortion feels too strong, increase this value until the low-end harmonic character is no longer bothersome.{/warn}", "Low End Clean Filter: 低域の歪みの濁りを抑えます。{warn}特に Drive の設定が強い場合、実際のアナログのように強く歪み、低域のディティールが現代的な音楽にマッチしない可能性が高いです。低域の強い歪みを低減させたい場合、このパラメータを低域由来の歪み作用が強く感じられなくなるまで数値を増やして下さい。{/warn}" },
        { "mode", "Selects the analog modeling engine. Standard: models the hardware's static character with conventional DSP techniques — lightest on CPU. Hybrid: proprietary Hybrid modeling. Boost Hybrid: the Hybrid model captured with the signal pushed harder into the analog circuit — click the lit Hybrid segment again to switch between Hybrid and Boost Hybrid. Drive sets the dry/wet depth in every mode — set Drive to OFF to disable the modeling stage. For an even stronger analog-like sound, raise Input Trim to push the signal further.", "アナログモデリングエンジンを選択します。Standard: 従来の DSP 手法でハードウェアの静的なキャラクターをモデリングします — CPU 負荷が最も軽いモードです。Hybrid: 独自の Hybrid モデリングです。Boost Hybrid: アナログ回路へ信号をより強く送り込んだ状態で取得した Hybrid モデルです — 点灯中の Hybrid セグメントをもう一度クリックすると Hybrid と Boost Hybrid が切り替わります。どのモードでも Drive がドライ／ウェットの深さを決めます — Drive を OFF にするとモデリング段が無効になります。さらに強いアナログらしいサウンドにしたい場合は、Input Trim を上げて信号をより強く送り込んでください。" },
        { "drive", "Drive — 0-100%. Dry/Wet mix for the analog modeling layer: 0% = clean, 100% = full analog character. Drag up/down to set, double-click to reset. Right-click / Ctrl+click to bypass this knob. {warn}As Drive approaches 100, strong low-frequency saturation develops just like the real hardware. This is a double-edged effect — distortion and tonal balance changes can cause the low end to sound relatively thin, and low-end detail may end up in an unintended state. Always audition carefully and use LECF alongside it when adjusting.{/warn}", "Drive — 0-100%。アナログモデリング層のドライ／ウェットのミックスです: 0% = クリーン、100% = フルのアナログキャラクター。上下にドラッグで設定、ダブルクリックでリセットします。右クリック / Ctrl+クリックでこのノブをバイパスします。{warn}Drive が 100 に近づくにつれ、実機と同じように低域に強いサチュレーションが生じます。これは諸刃の剣です — 歪みとトーンバランスの変化によって低域が相対的に細く聴こえたり、低域のディティールが意図しない状態になったりすることがあります。調整の際は必ず注意深く試聴し、LECF も併用してください。{/warn}" },
        { "analogExpansion", "Reproduces the measured unit-to-unit variation between the left and right hardware channels. 0% = L/R matched, 100% = maximum measured L/R spread. When M/S is selected: 0% = M/S matched, 100% = maximum M/S spread. Right-click / Ctrl+click to bypass this knob's effect on the modeling stage. Not available on mono tracks. {warn}Because it also reproduces the L/R phase differences, low-frequency phase differences can create an unintended low-end stereo image. Use LECF or a low-end mono-maker plugin as needed.{/warn}", "実測したハードウェアの左右チャンネル間の個体差を再現します。0% = L/R 一致、100% = 実測した最大の L/R 差。M/S 選択時: 0% = M/S 一致、100% = 最大の M/S 差。右クリック / Ctrl+クリックでこのノブのモデリング段への効果をバイパスします。モノラルトラックでは使用できません。{warn}L/R の位相差も再現するため、低域の位相差によって意図しない低域のステレオイメージが生じることがあります。必要に応じて LECF や低域のモノラル化プラグインを使用してください。{/warn}" },
        { "autoInput", "Auto Input: measures the input RMS and sets Input Trim automatically so the signal hits the modeled stage at the intended reference level.", "Auto Input: 入力の RMS を測定し、信号が意図した基準レベルでモデリング段に入るよう Input Trim を自動的に設定します。" },
        { "autoOutput", "Auto Output: loudness-matches the output to the input so engaging the plugin does not change perceived level for fair A/B.", "Auto Output: 出力のラウドネスを入力に合わせ、プラグインを有効にしても聴感上のレベルが変わらないようにして、公平な A/B 比較を可能にします。" },
        { "preset", "Factory preset selection. The displayed preset is saved per A/B slot, so switching A/B also restores the preset name.", "ファクトリープリセットを選択します。表示中のプリセットは A/B スロットごとに保存されるため、A/B を切り替えるとプリセット名も復元されます。" },
        { "presetSave", "Saves the current settings as a user preset.", "現在の設定をユーザープリセットとして保存します。" },
        { "presetLoad", "Loads a preset from a file.", "ファイルからプリセットを読み込みます。" },
        { "copyAB", "Copies the active preset slot to the other (A>B when on A, B>A when on B).", "アクティブなプリセットスロットをもう一方へコピーします（A のときは A>B、B のときは B>A）。" },
        { "meterMode", "Switches the input/output level meters between Peak and RMS ballistics.", "入力／出力レベルメーターの表示特性を Peak と RMS で切り替えます。" },
        { "undo", "Undo the last parameter change.", "直前のパラメーター変更を取り消します。" },
        { "redo", "Redo the last undone parameter change.", "取り消した変更をやり直します。" },
        { "settings", "Opens the Settings menu: About, Language, Edit While Bypassed, Knob Hover Glow, and Window Size. When a new version is available, an \"Update Available\" item is shown at the top of the menu.", "Settings メニューを開きます: About、Language、Edit While Bypassed、Knob Hover Glow、Window Size。新しいバージョンが公開されているときは、メニューの一番上に「Update Available」項目が表示されます。" },
        { "home", "Opens the product page in your browser.", "ブラウザで製品ページを開きます。" },
        { "fftToggle", "Toggles the real-time FFT spectrum overlay on the EQ Curve display.", "EQ カーブ表示上のリアルタイム FFT スペクトラム表示を ON/OFF します。" },
        { "cpuMeter", "Current CPU usage of this plugin instance.", "このプラグインインスタンスの現在の CPU 使用率です。" },
        { "grMeter", "Gain reduction produced by the clipper, in dB.", "クリッパーによるゲインリダクション（dB）です。" },
        { "fftScale", "Sets the EQ Curve / FFT display scale (3 / 6 / 12 dB per division).", "EQ Curve / FFT 表示のスケールを設定します（目盛りあたり 3 / 6 / 12 dB）。" },
        { "fftSize", "Selects the FFT window size: 2k (2048), 4k (4096), 8k (8192). Left-click cycles forward; right-click cycles backward. Larger windows give better frequency resolution but slower response.", "FFT のウィンドウサイズを選択します: 2k (2048)、4k (4096)、8k (8192)。左クリックで順方向、右クリックで逆方向に切り替わります。ウィンドウが大きいほど周波数分解能は高くなりますが、応答は遅くなります。" },
        { "octCorr", "Octave display correction: applies a slope (dB/oct) to the FFT spectrum so that pink noise appears flat. +3 dB/oct = pink-noise reference. Left-click cycles forward; right-click cycles backward.", "オクターブ表示補正: ピンクノイズが平坦に見えるよう、FFT スペクトラムに傾き（dB/oct）を加えます。+3 dB/oct = ピンクノイズ基準。左クリックで順方向、右クリックで逆方向に切り替わります。" },
    };
} // namespace

const std::unordered_map<juce::String, juce::String>& HelpTexts::table()
{
    // A function-local static: built once, thread-safely, on first use.
    static const std::unordered_map<juce::String, juce::String> map = [] {
        std::unordered_map<juce::String, juce::String> m;
        for (const auto& row : rows)
            m.emplace (juce::String (row.key), juce::String (juce::CharPointer_UTF8 (row.english)) + "\n\n" + juce::String (juce::CharPointer_UTF8 (row.japanese)));
        return m;
    }();
    return map;
}

juce::String HelpTexts::lookup (const juce::String& key)
{
    const auto& t = table();
    const auto it = t.find (key);
    return it != t.end() ? it->second : juce::String();
}
} // namespace oxlade
