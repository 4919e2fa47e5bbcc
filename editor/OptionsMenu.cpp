#include "editor/OptionsMenu.h"

namespace oxlade
{
void OptionsMenu::tickId (std::vector<Item>& rows, int id)
{
    for (auto& row : rows)
    {
        if (row.type == Item::actionType)
            row.ticked = row.id != 0 && row.id == id;
        tickId (row.children, id);
    }
}

OptionsMenu::OptionsMenu()
{
    setWantsKeyboardFocus (true);
    setVisible (false);
    setAlwaysOnTop (true);
}

OptionsMenu::~OptionsMenu()
{
    *alive = false;
    stopTimer();
    if (listening)
        juce::Desktop::getInstance().removeGlobalMouseListener (outsideClickListener.get());
    if (submenu != nullptr && submenu->getParentComponent() != nullptr)
        submenu->getParentComponent()->removeChildComponent (submenu.get());
}

juce::Font OptionsMenu::menuFont() const
{
    const float h = 14.0f * scale;
    return typeface != nullptr ? juce::Font (typeface).withHeight (h) : juce::Font (h);
}

int OptionsMenu::menuWidth() const
{
    if (fixedWidth > 0.0f)
        return juce::roundToInt (fixedWidth * scale);
    const auto font = menuFont();
    float w = 0.0f;
    for (const auto& item : items)
        if (item.type != Item::separatorType)
            w = juce::jmax (w, font.getStringWidthFloat (item.text));
    // The widest text was measured at the scaled height: back to design units.
    const float textUnits = scale > 0.0f ? w / scale : w;
    return juce::roundToInt (juce::jmax (180.0f * scale, (textUnits + 36.0f + 24.0f + 12.0f) * scale));
}

float OptionsMenu::computeContentHeight() const
{
    float sum = 0.0f;
    for (const auto& item : items)
        sum += item.type == Item::separatorType ? 9.0f : 26.0f;
    return (float) juce::roundToInt ((8.0f + sum) * scale);
}

void OptionsMenu::showAt (int x, int y, int maxRight, int maxBottom)
{
    closeSubmenu();
    hoverIndex = -1;
    scrollOffset = 0.0f;
    contentHeight = computeContentHeight();

    const int width = menuWidth();
    if (x + width > maxRight)
        x = maxRight - width;
    const int h = juce::jmin (maxBottom, (int) contentHeight);
    if (y + h > maxBottom)
        y = maxBottom - h;
    setBounds (juce::jmax (x, 0), juce::jmax (y, 0), width, h);
    setVisible (true);
    toFront (rootMenu == nullptr);

    if (rootMenu == nullptr)
    {
        openedByClickTime = juce::Desktop::getInstance().getMainMouseSource().getLastMouseDownTime();
        if (outsideClickListener == nullptr)
            outsideClickListener = std::make_unique<OutsideClickListener> (*this);
        if (!listening)
        {
            juce::Desktop::getInstance().addGlobalMouseListener (outsideClickListener.get());
            listening = true;
        }
        startTimer (100);
        if (isShowing())
            grabKeyboardFocus();
    }
    repaint();
}

void OptionsMenu::close()
{
    if (!isVisible())
        return;
    if (listening)
    {
        juce::Desktop::getInstance().removeGlobalMouseListener (outsideClickListener.get());
        listening = false;
    }
    stopTimer();
    closeSubmenu();
    setVisible (false);
    if (onClose)
        onClose();
}

void OptionsMenu::closeSubmenu()
{
    if (submenu != nullptr)
    {
        submenu->closeSubmenu();
        submenu->setVisible (false);
    }
    openSubmenuIndex = -1;
}

int OptionsMenu::rowAt (float y) const
{
    float top = 4.0f * scale - scrollOffset;
    for (int i = 0; i < (int) items.size(); ++i)
    {
        const float h = rowHeight (items[(size_t) i]);
        if (items[(size_t) i].type != Item::separatorType && y >= top && y < top + 26.0f * scale)
            return i;
        top += h;
    }
    return -1;
}

void OptionsMenu::openSubmenu (int k)
{
    if (k < 0 || k >= (int) items.size() || items[(size_t) k].type != Item::submenuType)
        return;
    auto* parent = getParentComponent();
    if (parent == nullptr)
        return;
    if (submenu == nullptr)
        submenu = std::make_unique<OptionsMenu>();
    if (submenu->getParentComponent() != parent)
        parent->addChildComponent (*submenu);
    if (submenu->isVisible() && openSubmenuIndex == k)
        return;

    auto& child = *submenu;
    child.scale = scale;
    child.typeface = typeface;
    child.fixedWidth = fixedWidth;
    child.rootMenu = &root();
    child.parentMenu = this;
    child.parentRow = k;
    child.items = items[(size_t) k].children;
    child.hoverIndex = -1;
    child.scrollOffset = 0.0f;
    child.contentHeight = child.computeContentHeight();

    float offset = 4.0f * scale;
    for (int i = 0; i < k; ++i)
        offset += rowHeight (items[(size_t) i]);
    const int w = child.menuWidth();
    const int h = juce::jmin (parent->getHeight(), (int) child.contentHeight);
    int y = getY() + juce::roundToInt (offset - scrollOffset);
    y = juce::jmax (0, juce::jmin (y, parent->getHeight() - h));
    int x = getRight();
    if (x + w > parent->getWidth())
        x = getX() - w;
    child.setBounds (x, y, w, h);
    child.setVisible (true);
    child.toFront (false);
    openSubmenuIndex = k;
    repaint();
}

void OptionsMenu::activate (int index)
{
    if (index < 0 || index >= (int) items.size())
        return;
    auto& item = items[(size_t) index];
    if (!item.enabled || item.type == Item::separatorType)
        return;
    if (item.type == Item::submenuType)
    {
        openSubmenu (index);
        return;
    }
    if (item.type == Item::actionType)
    {
        auto fn = item.action;
        root().close();
        if (fn)
            fn();
        return;
    }
    if (item.type == Item::toggleType)
        item.ticked = !item.ticked;
    else
        for (auto& other : items)
            if (other.type == Item::radioType && other.id == item.id)
                other.ticked = &other == &item;

    // Keep the parent's copy of these rows in step, so reopening shows the new state.
    if (parentMenu != nullptr && parentRow >= 0 && parentRow < (int) parentMenu->items.size())
        parentMenu->items[(size_t) parentRow].children = items;
    if (auto fn = item.action)
        fn();
    repaint();
}

void OptionsMenu::mouseMove (const juce::MouseEvent& e)
{
    const int row = rowAt (e.position.y);
    if (row == hoverIndex)
        return;
    hoverIndex = row;
    if (row >= 0 && items[(size_t) row].type == Item::submenuType)
        openSubmenu (row);
    else if (submenu != nullptr && submenu->isVisible())
        closeSubmenu();
    repaint();
}

void OptionsMenu::mouseExit (const juce::MouseEvent&)
{
    if (hoverIndex != -1)
    {
        hoverIndex = -1;
        repaint();
    }
}

void OptionsMenu::mouseDown (const juce::MouseEvent& e)
{
    if (!getLocalBounds().contains (e.getPosition()))
    {
        root().close();
        return;
    }
    const int row = rowAt (e.position.y);
    if (row < 0 || items[(size_t) row].type == Item::submenuType)
        return;
    activate (row);
}

void OptionsMenu::mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails& wheel)
{
    const float maxScroll = juce::jmax (contentHeight - (float) getHeight(), 0.0f);
    if (maxScroll <= 0.0f)
        return;
    const float next = juce::jlimit (0.0f, maxScroll, scrollOffset - wheel.deltaY * 26.0f * scale * 3.0f);
    if (next != scrollOffset)
    {
        scrollOffset = next;
        closeSubmenu();
        repaint();
    }
}

void OptionsMenu::moveHover (int delta)
{
    const int n = (int) items.size();
    int i = hoverIndex;
    for (int step = 0; step < n; ++step)
    {
        i = i < 0 ? (delta > 0 ? 0 : n - 1) : (i + delta + n) % n;
        if (items[(size_t) i].type != Item::separatorType && items[(size_t) i].enabled)
        {
            hoverIndex = i;
            // Scroll the row into view.
            float top = 4.0f * scale;
            for (int r = 0; r < i; ++r)
                top += rowHeight (items[(size_t) r]);
            if (top - scrollOffset < 0.0f)
                scrollOffset = top - 4.0f * scale;
            else if (top + 26.0f * scale - scrollOffset > (float) getHeight())
                scrollOffset = top + 30.0f * scale - (float) getHeight();
            repaint();
            return;
        }
    }
}

bool OptionsMenu::keyPressed (const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    if (code == juce::KeyPress::escapeKey)
    {
        root().close();
        return true;
    }
    if (code == juce::KeyPress::downKey || code == juce::KeyPress::upKey)
    {
        moveHover (code == juce::KeyPress::downKey ? 1 : -1);
        return true;
    }
    if (code == juce::KeyPress::returnKey || code == juce::KeyPress::spaceKey || code == juce::KeyPress::rightKey)
    {
        if (hoverIndex >= 0 && items[(size_t) hoverIndex].type == Item::submenuType)
        {
            openSubmenu (hoverIndex);
            if (submenu != nullptr && submenu->isVisible())
            {
                submenu->moveHover (1);
                submenu->grabKeyboardFocus();
            }
        }
        else if (code != juce::KeyPress::rightKey)
            activate (hoverIndex);
        return true;
    }
    if (code == juce::KeyPress::leftKey && parentMenu != nullptr)
    {
        parentMenu->grabKeyboardFocus();
        parentMenu->closeSubmenu();
        return true;
    }
    return false;
}

bool OptionsMenu::containsComponent (const juce::Component* c) const
{
    for (auto* m = this; m != nullptr; m = m->submenu != nullptr && m->submenu->isVisible() ? m->submenu.get() : nullptr)
        if (c != nullptr && (c == m || m->isParentOf (c)))
            return true;
    return false;
}

void OptionsMenu::focusLost (FocusChangeType)
{
    std::weak_ptr<bool> weak = alive;
    juce::MessageManager::callAsync ([this, weak] {
        if (weak.expired())
            return;
        auto& top = root();
        if (!top.isVisible())
            return;
        if (!top.containsComponent (juce::Component::getCurrentlyFocusedComponent()))
            top.close();
    });
}

void OptionsMenu::timerCallback()
{
    if (!isVisible())
        return;
    const auto& source = juce::Desktop::getInstance().getMainMouseSource();
    if (!source.getCurrentModifiers().isAnyMouseButtonDown())
        return;
    auto* top = getTopLevelComponent();
    if (top != nullptr && !top->getScreenBounds().contains (source.getScreenPosition().roundToInt()))
        close();
}

void OptionsMenu::OutsideClickListener::mouseDown (const juce::MouseEvent& e)
{
    if (e.eventTime == menu.openedByClickTime || menu.containsComponent (e.eventComponent))
        return;
    std::weak_ptr<bool> weak = menu.alive;
    auto* m = &menu;
    juce::MessageManager::callAsync ([m, weak] {
        if (!weak.expired() && m->isVisible())
            m->root().close();
    });
}

void OptionsMenu::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();
    const float corner = 5.0f * scale;
    g.setColour (juce::Colour (0xff0d0d0d).withAlpha (0.94f));
    g.fillRoundedRectangle (bounds, corner);
    g.setColour (juce::Colour (0xff1e1e1e).withAlpha (0.18f));
    g.fillRoundedRectangle (bounds, corner);
    g.setColour (juce::Colour (0xff2f9fe0).withAlpha (0.85f));
    g.drawRoundedRectangle (bounds.reduced (0.7f), corner, 1.4f);

    g.reduceClipRegion (getLocalBounds().reduced (1));
    g.setFont (menuFont());

    const float w = (float) getWidth();
    float y = 4.0f * scale - scrollOffset;
    for (int i = 0; i < (int) items.size(); ++i)
    {
        const auto& item = items[(size_t) i];
        const float h = rowHeight (item);
        if (y + h < 0.0f)
        {
            y += h;
            continue;
        }
        if (y > (float) getHeight())
            break;

        if (item.type == Item::separatorType)
        {
            g.setColour (juce::Colour (0xff5c5f6d));
            g.fillRect (juce::Rectangle<float> (12.0f * scale, y + h * 0.5f - 0.5f, w - 24.0f * scale, 1.0f));
            y += h;
            continue;
        }

        const float opacity = item.enabled ? 1.0f : 0.4f;
        const bool hovered = i == hoverIndex && item.enabled;
        if (hovered)
        {
            g.setColour (juce::Colour (0xff2f9fe0));
            g.fillRect (juce::Rectangle<float> (1.0f, y, w - 2.0f, 26.0f * scale));
        }
        const auto textColour = (hovered ? juce::Colour (0xff0f0f0f) : juce::Colour (0xfff0f0f0)).withMultipliedAlpha (opacity);
        const auto accent = (hovered ? juce::Colour (0xff0f0f0f) : juce::Colour (0xff2f9fe0)).withMultipliedAlpha (opacity);
        const float rowH = 26.0f * scale;

        if (item.type == Item::submenuType)
        {
            g.setColour (accent);
            // The sub-menu arrow, drawn (not every typeface has the triangle glyph).
            const auto box = juce::Rectangle<float> (w - 12.0f * scale - 14.0f * scale, y, 14.0f * scale, rowH);
            juce::Path arrow;
            const float aw = 6.0f * scale, ah = 8.0f * scale;
            arrow.addTriangle (box.getRight() - aw, box.getCentreY() - ah / 2, box.getRight(), box.getCentreY(), box.getRight() - aw, box.getCentreY() + ah / 2);
            g.fillPath (arrow);
            g.setColour (textColour);
            g.drawText (item.text, juce::Rectangle<float> (26.0f * scale, y, w - 26.0f * scale - 28.0f * scale, rowH), juce::Justification::centredLeft, true);
        }
        else
        {
            if (item.ticked)
            {
                g.setColour (accent);
                const auto box = juce::Rectangle<float> (12.0f * scale, y + rowH * 0.5f - 5.5f * scale, 12.0f * scale, 11.0f * scale);
                auto tick = getLookAndFeel().getTickShape (1.0f);
                g.fillPath (tick, tick.getTransformToScaleToFit (box, true));
            }
            g.setColour (textColour);
            g.drawText (item.text, juce::Rectangle<float> (26.0f * scale, y, w - 26.0f * scale - 12.0f * scale, rowH), juce::Justification::centredLeft, true);
        }
        y += h;
    }
}

std::unique_ptr<juce::AccessibilityHandler> OptionsMenu::createAccessibilityHandler()
{
    struct Value : juce::AccessibilityTextValueInterface
    {
        explicit Value (OptionsMenu& m)
            : menu (m)
        {
        }
        bool isReadOnly() const override { return true; }
        juce::String getCurrentValueAsString() const override
        {
            if (menu.hoverIndex < 0 || menu.hoverIndex >= (int) menu.items.size())
                return {};
            const auto& item = menu.items[(size_t) menu.hoverIndex];
            return item.text + (item.ticked ? " (ticked)" : "");
        }
        void setValueAsString (const juce::String&) override {}
        OptionsMenu& menu;
    };
    return std::make_unique<juce::AccessibilityHandler> (*this, juce::AccessibilityRole::popupMenu, juce::AccessibilityActions(), juce::AccessibilityHandler::Interfaces{ std::make_unique<Value> (*this) });
}
} // namespace oxlade
