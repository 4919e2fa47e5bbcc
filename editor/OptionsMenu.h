#pragma once

#include <functional>
#include <juce_gui_basics/juce_gui_basics.h>
#include <memory>
#include <vector>

namespace oxlade
{
/** The editor's own pop-up menu, drawn in the plug-in's style as a child of the editor: action,
    toggle, radio, separator and sub-menu rows; sub-menus open on hover as further menus. It
    closes on an action, Escape, a click outside it, or when the keyboard focus leaves it.
    Up/Down move the highlight, Return/Space activate, Right/Left open and close sub-menus. */
class OptionsMenu : public juce::Component,
                    private juce::Timer
{
public:
    struct Item
    {
        enum Type
        {
            actionType = 0,
            toggleType = 1,
            radioType = 2,
            separatorType = 3,
            submenuType = 4
        };

        juce::String text;
        int type = actionType;
        bool ticked = false;
        bool enabled = true;
        int id = 0; ///< radio group, or the preset id of a preset action
        std::function<void()> action;
        std::vector<Item> children;

        static Item makeAction (juce::String t, std::function<void()> fn, bool tick = false, int itemId = 0) { return { std::move (t), actionType, tick, true, itemId, std::move (fn), {} }; }
        static Item makeToggle (juce::String t, bool tick, std::function<void()> fn) { return { std::move (t), toggleType, tick, true, 0, std::move (fn), {} }; }
        static Item makeRadio (juce::String t, int group, bool tick, std::function<void()> fn) { return { std::move (t), radioType, tick, true, group, std::move (fn), {} }; }
        static Item makeSeparator() { return { {}, separatorType, false, true, 0, {}, {} }; }
        static Item makeSubmenu (juce::String t, std::vector<Item> rows) { return { std::move (t), submenuType, false, true, 0, {}, std::move (rows) }; }
    };

    /** Marks every action row whose id is non-zero and equals `id` as ticked, in sub-menus too. */
    static void tickId (std::vector<Item>& rows, int id);

    OptionsMenu();
    ~OptionsMenu() override;

    float scale = 1.0f;
    float fixedWidth = 0.0f;
    float scrollOffset = 0.0f, contentHeight = 0.0f;
    int hoverIndex = -1, openSubmenuIndex = -1;
    juce::Typeface::Ptr typeface;
    std::vector<Item> items;
    std::function<void()> onClose;

    void showAt (int x, int y, int maxRight, int maxBottom);
    void close();

    int menuWidth() const;
    float computeContentHeight() const;
    float rowHeight (const Item& item) const { return (item.type == Item::separatorType ? 9.0f : 26.0f) * scale; }
    /** The row at a y position (in this menu's coordinates), or -1. */
    int rowAt (float y) const;
    /** Activates a row as a click on it would. */
    void activate (int index);
    OptionsMenu* getSubmenu() const noexcept { return submenu.get(); }
    OptionsMenu& root() noexcept { return rootMenu != nullptr ? *rootMenu : *this; }
    /** Opens row k's sub-menu. */
    void openSubmenu (int k);
    void closeSubmenu();

    void mouseMove (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void focusLost (FocusChangeType) override;

    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    /** Closes the menu on a press anywhere outside it (other than the press that opened it). */
    class OutsideClickListener : public juce::MouseListener
    {
    public:
        explicit OutsideClickListener (OptionsMenu& m)
            : menu (m)
        {
        }
        void mouseDown (const juce::MouseEvent&) override;

    private:
        OptionsMenu& menu;
    };

    /** True when c is this menu, inside it, or inside one of its open sub-menus. */
    bool containsComponent (const juce::Component* c) const;

    juce::Time openedByClickTime;

private:
    void timerCallback() override;
    juce::Font menuFont() const;
    void moveHover (int delta);

    std::unique_ptr<OptionsMenu> submenu;
    OptionsMenu* rootMenu = nullptr;
    OptionsMenu* parentMenu = nullptr;
    int parentRow = -1;
    std::unique_ptr<OutsideClickListener> outsideClickListener;
    bool listening = false;
    std::shared_ptr<bool> alive = std::make_shared<bool> (true);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OptionsMenu)
};
} // namespace oxlade
