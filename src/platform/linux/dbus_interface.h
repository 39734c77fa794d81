// The service's bus interface, the one description of it: the objects
// register from it, and docs/dbus.md explains it.
#pragma once

namespace orv::linux_ {

inline constexpr char kBusName[] = "org.orvane.Hid";
inline constexpr char kObjectPath[] = "/org/orvane/Hid";
inline constexpr char kInterface[] = "org.orvane.Hid1";
inline constexpr char kSimulatorPath[] = "/org/orvane/Hid/Simulator";
inline constexpr char kSimulatorInterface[] = "org.orvane.Hid1.Simulator";

inline constexpr char kIntrospection[] = R"(<node>
  <interface name="org.orvane.Hid1">
    <method name="Post">
      <arg direction="in" name="message" type="u"/>
      <arg direction="in" name="wparam" type="t"/>
      <arg direction="in" name="lparam" type="x"/>
    </method>
    <method name="Sync">
      <arg direction="in" name="code" type="u"/>
      <arg direction="in" name="value" type="x"/>
    </method>
    <method name="RegisterWindow">
      <arg direction="in" name="title" type="s"/>
    </method>
    <method name="UnregisterWindow">
      <arg direction="in" name="title" type="s"/>
    </method>
    <method name="SelectSlot">
      <arg direction="in" name="slot" type="y"/>
    </method>
    <method name="Upload">
      <arg direction="in" name="lighting" type="b"/>
    </method>
    <method name="UploadSlot">
      <arg direction="in" name="slot" type="y"/>
    </method>
    <method name="Reload"/>
    <signal name="Message">
      <arg name="window" type="s"/>
      <arg name="message" type="u"/>
      <arg name="wparam" type="t"/>
      <arg name="lparam" type="x"/>
    </signal>
    <signal name="CopyData">
      <arg name="window" type="s"/>
      <arg name="id" type="t"/>
      <arg name="data" type="ay"/>
    </signal>
    <property name="Slot" type="y" access="read"/>
    <property name="Plugged" type="b" access="read"/>
    <property name="FirmwareVersion" type="s" access="read"/>
    <property name="UploadProgress" type="y" access="read"/>
    <property name="PerAppSwitching" type="b" access="read"/>
  </interface>
  <interface name="org.orvane.Hid1.Simulator">
    <method name="Plug"/>
    <method name="Unplug"/>
    <method name="Report">
      <arg direction="in" name="usage" type="y"/>
      <arg direction="in" name="bytes" type="ay"/>
      <arg direction="out" name="delivered" type="b"/>
    </method>
    <method name="SetVersion">
      <arg direction="in" name="a" type="y"/>
      <arg direction="in" name="b" type="y"/>
    </method>
    <method name="SetSlot">
      <arg direction="in" name="slot" type="y"/>
    </method>
    <method name="Fail">
      <arg direction="in" name="count" type="u"/>
    </method>
  </interface>
</node>
)";

} // namespace orv::linux_
