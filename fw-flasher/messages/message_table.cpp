// The bilingual message table: every caption, question and log line of the
// flasher, by identifier. Texts are UTF-8; the formats are printf-style.
#include "messages/message_table.h"

#include <iterator>

namespace fw {
namespace {
// The Chinese text of 8123 repeats the question and adds how to rebuild the
// board controller by hand when the automatic update does not take.
constexpr const char* kBoardUpdateQuestionZh =
    "下载板中的固件不是最新版本, 是否需要自动更新 ?\r\n"
    "\r\n"
    "注意: 部分较早的下载板可能无法自动更新成功, 此时可按以下步骤手动重建下载板的主控芯片:\r\n"
    "  1. 将下载板上的模式开关拨到\"更新\"位置;\r\n"
    "  2. 在完整版ISP下载软件中打开制作下载板的功能, 并按下与下载板供电电压相符的按钮;\r\n"
    "  3. 等待软件显示目标芯片的信息, 或按下下载板上的更新按键;\r\n"
    "  4. 完成后将模式开关拨回\"下载\"位置.\r\n";

constexpr MessageRow kRows[] = {
    {1, "OK", "确定", nullptr, nullptr},
    {2, "Cancel", "取消", nullptr, nullptr},
    {132, "Baudrate settings", "设置波特率", nullptr, nullptr},
    {103, "Login", "登录", nullptr, nullptr},
    {1173, "COM Port", "串口", nullptr, nullptr},
    {1174, "Min Baud", "最低波特率", nullptr, nullptr},
    {1175, "Max Baud", "最高波特率", nullptr, nullptr},
    {1046, "Download/Program", "下载/编程",
     "Start download/program \r\n(Please power on the target MCU after press down the button)",
     "开始下载编程\r\n(请先点击下载按钮后,再给目标芯片上电)"},
    {1044, "Stop", "停止", nullptr, nullptr},
    {1001, "Help", "疑难帮助",
     "Settings the highest / lowest baudrate\r\n(Do not et generally, \r\nbut if the serial speed "
     "do not match with me, \r\ntry to set minimum and maximum baudrate as 2400 or 4800 together)",
     "设置串口的最高/"
     "最低波特率\r\n("
     "一般情况下不需设置，若出现串口的速度与本程序不匹配时，\r\n可尝试将最高和最低波特率都修改为240"
     "0或者4800)"},
    {1006, "Reset", "清零", nullptr, nullptr},
    {1008, "Please input login password :", "请输入登录密码 :", nullptr, nullptr},
    {4000, "File verification failed,\r\nplease rebuild the project publishing file !",
     "文件校验失败,\r\n请重新生成项目发布文件 ！", nullptr, nullptr},
    {4001, "The file is damaged.\r\nPlease rebuild the project publishing file !",
     "用户代码已损坏,\r\n请重新生成项目发布文件 ！", nullptr, nullptr},
    {4003, "Password is incorrect !", "登录密码错误 !", nullptr, nullptr},
    {4004, "\r\nRepeat after %d secs .", "\r\n%d秒钟后开始重复下载 .", nullptr, nullptr},
    {4005, "\r\nWaiting for USB device ...", "\r\n等待插入USB设备 ...", nullptr, nullptr},
    {4006, "Do you want to reset the counter ?", "确定需要将计数值清零吗 ?", nullptr, nullptr},
    {4007, "Downloading is in progress.\r\nAre you sure to terminate ?",
     "正在下载代码,\r\n确定要取消下载吗 ?", nullptr, nullptr},
    {8000, "Checking target MCU ... \r\n", "正在检测目标单片机 ... \r\n", nullptr, nullptr},
    {8001, "Reconnect download board ... \r\n", "正在重新连接下载板 ... \r\n", nullptr, nullptr},
    {8002, "Re-Checking target MCU ... \r\n", "继续检测目标单片机 ... \r\n", nullptr, nullptr},
    {8003, "\r\nT4 is overcurrent !!!\r\n", "\r\nT4工具提供的电流超出所设定的最大电流 !!!\r\n",
     nullptr, nullptr},
    {8004, "  MCU type: %s\r\n", "  单片机型号: %s\r\n", nullptr, nullptr},
    {8005, "  F/W version: %d.%d%c\r\n", "  固件版本号: %d.%d%c\r\n", nullptr, nullptr},
    {8006, "  F/W version: %d.%d.%d%c\r\n", "  固件版本号: %d.%d.%d%c\r\n", nullptr, nullptr},
    {8007, "\r\nCurrent H/W Option:\r\n", "\r\n当前芯片的硬件选项为:\r\n", nullptr, nullptr},
    {8008, "\r\nH/W Option upgrade to:\r\n", "\r\n更新后的硬件选项为:\r\n", nullptr, nullptr},
    {8009, "  Unknown MCU type\r\n", "  未知的单片机型号\r\n", nullptr, nullptr},
    {8010, "MCU type is incorrect .\r\n", "单片机型号选择错误 .\r\n", nullptr, nullptr},
    {8011,
     "  The firmware version is too old for this function .\r\n  Please use MCU which version is "
     "7.1.3 or higher !\r\n",
     "  芯片的固件版本太低 .\r\n  请选用固件版本在7.1.3及以上的芯片 !\r\n", nullptr, nullptr},
    {8012, "  The target has no ICE function !\r\n", "  此芯片无仿真功能 !\r\n", nullptr, nullptr},
    {8013, "Adjusting frequency ...", "开始调节频率 ...", nullptr, nullptr},
    {8014, " Skipped !!!", " 跳过 !!!", nullptr, nullptr},
    {8015, "Adjusted frequency: %.3fMHz (%.3f%%)\r\n", "调节后的频率: %.3fMHz (%.3f%%)\r\n",
     nullptr, nullptr},
    {8016, "\r\nRe-handshaking ... ", "\r\n正在重新握手 ... ", nullptr, nullptr},
    {8017, "Successful\t\t\t[%.3f\"]\r\n", "成功\t\t\t[%.3f\"]\r\n", nullptr, nullptr},
    {8018, "Current Baudrate: %d\r\n", "当前的波特率: %d\r\n", nullptr, nullptr},
    {8019, "Erasing MCU flash ...  ", "正在擦除目标区域 ... ", nullptr, nullptr},
    {8020, "\r\nUser password error !\r\n", "\r\n下载口令错误 !\r\n", nullptr, nullptr},
    {8021, "\r\nMCU is locked !\r\n", "\r\n口令尝试次数已超过5次, 芯片已被锁死 !\r\n", nullptr,
     nullptr},
    {8022, "Try %d times !\r\n", "尝试次数: %d次, 连续错误5次芯片将被锁死 !\r\n", nullptr, nullptr},
    {8023, "OK !\t\t[%.3f\"]\r\n", "完成 !\t\t[%.3f\"]\r\n", nullptr, nullptr},
    {8024, "MCU ID : %02X%02X%02X%02X%02X%02X%02X\r\n",
     "芯片出厂序列号 : %02X%02X%02X%02X%02X%02X%02X\r\n", nullptr, nullptr},
    {8025, "Not supported user key for current MCU\r\n", "此型号的MCU不支持用户密钥\r\n", nullptr,
     nullptr},
    {8026, "Programming user code ... ", "正在下载用户代码 ... ", nullptr, nullptr},
    {8027, "Programming OPTIONS ... ", "正在设置硬件选项 ... ", nullptr, nullptr},
    {8028, "  . Current clock frequency: %.3fMHz\r\n", "  . 当前的时钟频率: %.3fMHz\r\n", nullptr,
     nullptr},
    {8029, "  . System use 12T mode\r\n", "  . 系统频率为12T(单倍速)模式\r\n", nullptr, nullptr},
    {8030, "  . System use 6T(double speed) mode\r\n", "  . 系统频率为6T(双倍速)模式\r\n", nullptr,
     nullptr},
    {8031, "  . Oscillator gain is HIGH\r\n", "  . 振荡器放大增益使能\r\n", nullptr, nullptr},
    {8032, "  . Oscillator gain is LOW\r\n", " . 不使能振荡器放大增益\r\n", nullptr, nullptr},
    {8033, "  . Any reset source can stop WatchDog if WatchDog timer is running\r\n",
     "  . 当看门狗启动后,任何复位都可停止看门狗\r\n", nullptr, nullptr},
    {8034, "  . Can stop WatchDog only after power-down if WatchDog timer is running\r\n",
     "  . 当看门狗启动后,只有MCU断电后看门狗才停止\r\n", nullptr, nullptr},
    {8035, "  . Hardware do not enable Watch-Dog-Timer\r\n",
     "  . 上电复位时,硬件不启动内部看门狗\r\n", nullptr, nullptr},
    {8036, "  . Hardware enable Watch-Dog-Timer when power-on reset\r\n",
     "  . 上电复位时,由硬件自动启动内部看门狗\r\n", nullptr, nullptr},
    {8037, "  . Watch-Dog-Timer pre-scalar : %d\r\n",
     "  . 上电自动启动内部看门狗时的预分频数为 : %d\r\n", nullptr, nullptr},
    {8038, "  . Watch-Dog-Timer continue count in idle mode\r\n",
     "  . 空闲状态时看门狗定时器继续计数\r\n", nullptr, nullptr},
    {8039, "  . Watch-Dog-Timer stop count in idle mode\r\n",
     "  . 空闲状态时看门狗定时器停止计数\r\n", nullptr, nullptr},
    {8040, "  . Program can modify the Watch-Dog-Timer scalar\r\n",
     "  . 启动看门狗后,软件可以修改分频数,但不能关闭看门狗\r\n", nullptr, nullptr},
    {8041, "  . Program can NOT modify the Watch-Dog-Timer scalar\r\n",
     "  . 启动看门狗后,软件不能修改分频数,且不能关闭看门狗\r\n", nullptr, nullptr},
    {8042, "  . Internal XRAM is ENABLE\r\n", "  . MCU内部的扩展RAM可用\r\n", nullptr, nullptr},
    {8043, "  . Internal XRAM is DISABLE\r\n", "  . MCU内部的扩展RAM不可用\r\n", nullptr, nullptr},
    {8044, "  . ALE pin behaves as ALE function pin\r\n", "  . ALE脚的功能选择仍然为ALE功能脚\r\n",
     nullptr, nullptr},
    {8045, "  . ALE pin behaves as I/O pin (P4.5)\r\n", "  . ALE脚当作P4.5口使用\r\n", nullptr,
     nullptr},
    {8046, "  . Do not detect the level of P1.0 and P1.1 next download\r\n",
     "  . P1.0和P1.1与下次下载无关\r\n", nullptr, nullptr},
    {8047, "  . P1.0 and P1.1 need to be low for next download\r\n",
     "  . 下次P1.0和P1.1同时为低电平时才可下载\r\n", nullptr, nullptr},
    {8048, "  . Do not erase user EEPROM area at next download\r\n",
     "  . 下次下载用户程序时,不擦除用户EEPROM区\r\n", nullptr, nullptr},
    {8049, "  . Erase user EEPROM area at next download\r\n",
     "  . 下次下载用户程序时,将用户EEPROM区一并擦除\r\n", nullptr, nullptr},
    {8050, "  . Current system clock source is external crystal oscillator\r\n",
     "  . 下次冷启动后系统时钟源为外部晶体振荡器\r\n", nullptr, nullptr},
    {8051, "  . Current system clock source is internal IRC oscillator\r\n",
     "  . 下次冷启动后系统时钟源为内部IRC振荡器\r\n", nullptr, nullptr},
    {8052, "  . Thresh voltage level of the built-in LVD : %s\r\n", "  . 低压复位门槛电压 : %s\r\n",
     nullptr, nullptr},
    {8053, "  . No low level detection on RESET2 pin\r\n",
     "  . RESET2引脚上无外部低压检测复位功能\r\n", nullptr, nullptr},
    {8054, "  . MCU will reset when the level on RESET2 pin is under 1.33V\r\n",
     "  . 当RESET2引脚上的电压低于1.33V时芯片复位\r\n", nullptr, nullptr},
    {8055, "  . Power-on reset, use the general power-on delay\r\n",
     "  . 上电复位时不增加额外的复位延时\r\n", nullptr, nullptr},
    {8056, "  . Power-on reset, use the extra power-on delay\r\n",
     "  . 上电复位时增加额外的复位延时\r\n", nullptr, nullptr},
    {8057, "  . RESET pin behaves as reset pin\r\n", "  . 复位引脚仍为复位脚\r\n", nullptr,
     nullptr},
    {8058, "  . RESET pin behaves as IO pin\r\n", "  . 复位引脚用作普通I/O口\r\n", nullptr,
     nullptr},
    {8059, "  . Waiting for oscillator stable : %d\r\n",
     "  . 等待系统振荡器稳定的时钟数为 : %d \r\n", nullptr, nullptr},
    {8060, "  . Current frequency: %.3fMHz\r\n", "  . 当前的振荡器的频率: %.3fMHz\r\n", nullptr,
     nullptr},
    {8061, "  . Do not detect the level of P3.2 and P3.3 next download\r\n",
     "  . P3.2和P3.3与下次下载无关\r\n", nullptr, nullptr},
    {8062, "  . P3.2 and P3.3 need to be low for next download\r\n",
     "  . 下次P3.2和P3.3同时为低电平时才可下载\r\n", nullptr, nullptr},
    {8063, "  . Reset while detect a Low-Voltage\r\n", "  . 检测到低压时复位\r\n", nullptr,
     nullptr},
    {8064, "  . Interrupt while detect a Low-Voltage\r\n",
     "  . 检测到低压时不复位,可产生低压中断\r\n", nullptr, nullptr},
    {8065, "  . Thresh voltage level of the built-in LVD : %s\r\n", "  . 低压检测门槛电压 : %s\r\n",
     nullptr, nullptr},
    {8066, "  . Inhibit EEPROM operation under Low-Voltage\r\n", "  . 低压时不能进行EEPROM操作\r\n",
     nullptr, nullptr},
    {8067, "  . Permit EEPROM operation under Low-Voltag\r\n", "  . 低压时可以进行EEPROM操作\r\n",
     nullptr, nullptr},
    {8068, "  . IRC is unadjusted\r\n", "  . 内部振荡器的频率未调节\r\n", nullptr, nullptr},
    {8069, "  . IRC frequency: %.3fMHz\r\n", "  . 内部IRC振荡器的频率: %.3fMHz\r\n", nullptr,
     nullptr},
    {8070, "  . Wakeup Timer frequency: %.3fKHz\r\n", "  . 掉电唤醒定时器的频率: %.3fKHz\r\n",
     nullptr, nullptr},
    {8071, "  . CPU-Core supply level : %s\r\n", "  . CPU-Core最高工作电压 : %s\r\n", nullptr,
     nullptr},
    {8072, "  . Do not control 485 at next download\r\n",
     "  . 下次下载用户程序时,没有相关的端口控制485\r\n", nullptr, nullptr},
    {8073, "  . Use IO control 485 at next download\r\n",
     "  . 下次下载用户程序时,使用相关的端口控制485\r\n", nullptr, nullptr},
    {8074, "  . Do not check user password next download\r\n",
     "  . 下次下载时不需要校验下载口令\r\n", nullptr, nullptr},
    {8075, "  . Need check user password next download\r\n",
     "  . 下次下载时需要输入正确的下载口令才可下载\r\n", nullptr, nullptr},
    {8076, "  . TXD pin singal source come from RXD\r\n", "  . TXD脚直通输出RXD脚的电平\r\n",
     nullptr, nullptr},
    {8077, "  . TXD is independent IO\r\n", "  . TXD与RXD为相互独立的IO\r\n", nullptr, nullptr},
    {8078, "  . TXD pin as PUSH-PULL mode after reset\r\n", "  . 芯片复位后,TXD脚为强推挽输出\r\n",
     nullptr, nullptr},
    {8079, "  . TXD pin as quasi-bidirectional mode after reset\r\n",
     "  . 芯片复位后,TXD脚为弱上拉双向口\r\n", nullptr, nullptr},
    {8080, "  . %s output HIGH level after reset\r\n", "  . 芯片复位后,%s输出高电平\r\n", nullptr,
     nullptr},
    {8081, "  . %s output LOW level after reset\r\n", "  . 芯片复位后,%s输出低电平\r\n", nullptr,
     nullptr},
    {8082, "  . Reference voltage: %d mV (Range: %d~%dmV)\r\n",
     "  . 内部参考电压: %d mV (参考范围: %d~%dmV)\r\n", nullptr, nullptr},
    {8083, "  WARNING: reference voltage is out of range !!!\r\n",
     "  严重错误警告: 参考电压超出范围 !!!\r\n", nullptr, nullptr},
    {8084, "  . Testing time: 20%02x-%x-%x\r\n", "  . 内部安排测试时间: 20%02x年%x月%x日\r\n",
     nullptr, nullptr},
    {8085, "  . ICE function is disabled\r\n", "  . 未使能芯片的仿真功能\r\n", nullptr, nullptr},
    {8086, "  . ICE function is enabled\r\n", "  . 已使能目标芯片的仿真功能\r\n", nullptr, nullptr},
    {8087, "  . ICE using COM port [%s]\r\n", "  . 使用串口[%s]进行仿真\r\n", nullptr, nullptr},
    {8088, "  . Enable USB-ICE function\r\n", "  . 使用USB接口进行仿真\r\n", nullptr, nullptr},
    {8089, "  . UART1 at P3.6(RXD)/P3.7(TXD)\r\n", "  . 串口1切换为P3.6(RXD)/P3.7(TXD)\r\n",
     nullptr, nullptr},
    {8090, "  . UART1 at P3.0(RXD)/P3.1(TXD)\r\n", "  . 串口1保持为P3.0(RXD)/P3.1(TXD)\r\n",
     nullptr, nullptr},
    {8091, "\r\n  . Set frequency: %.3fMHz\r\n", "\r\n  . 用户设定频率: %.3fMHz\r\n", nullptr,
     nullptr},
    {8092, "  . Adjusted frequency: %.3fMHz\r\n", "  . 调节后的频率: %.3fMHz\r\n", nullptr,
     nullptr},
    {8093, "  . Trim error: %.3f%%\r\n", "  . 频率调节误差: %.3f%%\r\n", nullptr, nullptr},
    {8094,
     "  Notice: The 22.1184 MHz xtal in this tool maybe damaged\r\n          The freq. actual is "
     "%.3f MHz\r\n",
     "  注意: 此工具的22.1184 MHZ的晶振可能损坏\r\n        实际检测到的振荡频率为: %.3f MHz\r\n",
     nullptr, nullptr},
    {8095, "  Board Type: %s\r\n", "  下载板型号: %s\r\n", nullptr, nullptr},
    {8096, "  Board version: %d.%d\r\n", "  下载板版本号: v%d.%02d\r\n", nullptr, nullptr},
    {8097, "  No external Flash\r\n", "  没有外挂Flash\r\n", nullptr, nullptr},
    {8098, "  Have %s Bytes external Flash\r\n", "  有外挂%s字节 Flash\r\n", nullptr, nullptr},
    {8099, "  Have unknown external Flash\r\n", "  有外挂不可识别的Flash\r\n", nullptr, nullptr},
    {8100,
     "  Need connect P3.2/P3.2 to ground for Off-Line control mcu .\r\n  Please connect P3.2/P3.3 "
     "to GND and try again !\r\n",
     "  需要将P3.2/P3.3短路到地才可正常制作脱机下载主控芯片 .\r\n  请将P3.2/P3.3连接到地再试一次 "
     "!\r\n",
     nullptr, nullptr},
    {8101, "Upgrading firmware automatically, DO NOT PLUG OUT USB CABLE ... ",
     "正在自动更新下载板的固件代码, 请勿拔出USB线 ... ", nullptr, nullptr},
    {8102, "Completed !\r\n", "更新完成 !\r\n", nullptr, nullptr},
    {8103, "Checking download board ... \r\n", "正在连接下载板 ... \r\n", nullptr, nullptr},
    {8104, "  Complete !(%s)\r\n", "操作成功 !(%s)\r\n", nullptr, nullptr},
    {8105, "\r\nDownload failed ! (%s)(%s)\r\n", "\r\n下载失败 ! (%s)(%s)\r\n", nullptr, nullptr},
    {8106, "\r\nTerminated !(%s)\r\n", "\r\n被用户终止 !(%s)\r\n", nullptr, nullptr},
    {8107, "Device open fail !\r\nPlease check the device .",
     "设备打开失败 !\r\n请检查设备是否与电脑正确连接 .", nullptr, nullptr},
    {8108, "\r\n\r\nPlease using the newest software !",
     "\r\n\r\n请确定是否有新版软件,请及时更新 !", nullptr, nullptr},
    {8109, "  Connect fail !\r\n  Please check P3.2/P3.3 switch to download mode !\r\n",
     "  下载板连接失败 !\r\n  请确认下载板上的\"更新/下载跳线\"是否跳为下载模式 !\r\n", nullptr,
     nullptr},
    {8110, "Cleaning user data ... ", "正在清除用户脱机代码 ... ", nullptr, nullptr},
    {8111, "Prepare for download ...  ", "准备下载用户代码 ... ", nullptr, nullptr},
    {8112, "Connecting with user face ... \r\n", "正在与用户接口通讯 ... \r\n", nullptr, nullptr},
    {8113, "Connected OK !\r\n\r\n", "通讯完成 !\r\n\r\n", nullptr, nullptr},
    {8114, "This version of the chip is not supported now .\r\n",
     "\r\n暂不支持烧录此版本单片机\r\n", nullptr, nullptr},
    {8115, "  . Re-power-on to enable the change of the clock source !\r\n\r\n",
     "  . 内部/外部时钟源切换,目标芯片需要重新上电后才有效 !\r\n    "
     "若是由外部时钟切换到内部时钟,需重新下载一次才可正确调节频率 !\r\n\r\n",
     nullptr, nullptr},
    {8116, "Please re-power-on for T4/T3\r\nand switch S2 to download mode !\r\n",
     "请给脱机下载板重新上电\r\n并将拨动开关切换到下载用户代码模式 !", nullptr, nullptr},
    {8117, "The program has exceeded the capacity of 42KB, please add external flash !",
     "程序已超出脱机下载板内部的42KB容量,请外挂Flash !", nullptr, nullptr},
    {8118, "  EEPROM size for this MCU is %dK\r\n  The exceeding data has been discarded\r\n\r\n",
     "  当前版本芯片的EEPROM为%dK\r\n  超出空间的数据已被自动截取\r\n\r\n", nullptr, nullptr},
    {8119, "\r\n  Program code Complete !(%s)\r\n", "\r\n代码下载成功 !(%s)\r\n", nullptr, nullptr},
    {8120, "\r\n  Frequerency trim fail !\r\n", "\r\n频率调节失败 !\r\n", nullptr, nullptr},
    {8121, "\r\n  Frequerency trim error is too large !\r\n",
     "\r\n频率调节的误差太大,当前设定的频率值可能在频率调节盲区 !\r\n", nullptr, nullptr},
    {8122,
     "This QMV-ISP application is too old, maybe download fail to .\r\nWhether to update "
     "automatically ?",
     "当前所使用的应用程序版本过低, 与编程器配合使用可能会编程失败 .\r\n是否需要自动更新 ?\r\n",
     nullptr, nullptr},
    {8123, "Firmware in the board is not the latest version, whether to update automatically ?",
     kBoardUpdateQuestionZh, nullptr, nullptr},
    {8125, "ERROR", "错误", nullptr, nullptr},
    // The step results in words, for the last line of fw-flash.
    {8200, "ok", "成功", nullptr, nullptr},
    {8201, "unexpected reply or refused", "应答错误或被拒绝", nullptr, nullptr},
    {8202, "time-out", "超时", nullptr, nullptr},
    {8203, "stopped", "被用户终止", nullptr, nullptr},
    {8204, "wrong chip type", "单片机型号错误", nullptr, nullptr},
    {8205, "finished early", "提前结束", nullptr, nullptr},
    {8206, "failed", "失败", nullptr, nullptr},
    {8207, "download board updated, connect again", "下载板已更新, 请重新连接", nullptr, nullptr},
    // A port that disappears while a step runs.
    {8210, "\r\nThe port %s is gone (unplugged or closed) !\r\n",
     "\r\n串口 %s 已断开 (设备被拔出或已关闭) !\r\n", nullptr, nullptr},
    {8212, "  . The MCU did not report its new options back\r\n",
     "  . 目标芯片没有回报更新后的硬件选项\r\n", nullptr, nullptr},
    {8220, "\r\nThe set frequency %d Hz cannot be trimmed to: it must be above 0 Hz !\r\n",
     "\r\n设定的频率 %d Hz 无法调节: 频率必须大于 0 Hz !\r\n", nullptr, nullptr},
    {8221,
     "\r\n  The internal oscillator could not be trimmed: its measurements cannot be used !\r\n",
     "\r\n  无法调节内部振荡器: 测量结果不可用 !\r\n", nullptr, nullptr},
    {8222, "\r\n  The reply to the frequency measurement is too short !\r\n",
     "\r\n  频率测量的应答数据太短 !\r\n", nullptr, nullptr},
    // Limits of the download steps.
    {8230,
     "\r\n  WARNING: %d bytes of the program lie in the top 3 KB, which this chip's boot loader "
     "keeps for itself; they were left out !\r\n",
     "\r\n  警告: 程序中有 %d 个字节位于本芯片引导程序保留的最高 3K 区域, 已被略去 !\r\n", nullptr,
     nullptr},
    {8231, "\r\nThe chip asked for the same data %d times: giving up !\r\n",
     "\r\n芯片已 %d 次要求重发同一数据, 放弃下载 !\r\n", nullptr, nullptr},
    {8232, "\r\nNo baud rate up to %d suits the chip's clock of %.3fMHz; staying at %d baud !\r\n",
     "\r\n没有不高于 %d 的波特率适合芯片的时钟频率 %.3fMHz, 保持 %d 波特率 !\r\n", nullptr,
     nullptr},
    {8233, "\r\nThe chip's baud generator (variant %d) is not known to this program !\r\n",
     "\r\n本程序不认识此芯片的波特率发生器 (类型 %d) !\r\n", nullptr, nullptr},
    {8234, "\r\nThe program (%d bytes) does not fit the chip's flash (%d bytes) !\r\n",
     "\r\n程序 (%d 字节) 超出芯片的 Flash 容量 (%d 字节) !\r\n", nullptr, nullptr},
    {8236, "\r\nThe stand-alone image needs %d bytes behind its header; the flasher holds %d !\r\n",
     "\r\n脱机映像的头部之后需要 %d 字节, 下载程序只能容纳 %d 字节 !\r\n", nullptr, nullptr},
    // The operator's run without a window.
    {8240, "\r\nPasses: %d this run, %u in total\r\n", "\r\n本次成功 %d 次, 累计成功 %u 次\r\n",
     nullptr, nullptr},
    // The profile, shared by every program of the project under its lock.
    {8260, "\r\nWaiting for the profile %s: another download of this project is using it ...\r\n",
     "\r\n等待配置文件 %s: 本项目的另一个下载正在使用它 ...\r\n", nullptr, nullptr},
    {8261,
     "\r\nThe profile %s cannot be written (%s): nothing was erased, the download does not "
     "start !\r\n",
     "\r\n配置文件 %s 无法写入 (%s): 未擦除任何数据, 下载未开始 !\r\n", nullptr, nullptr},
    {8262,
     "\r\nThe profile %s could not be written (%s): the next serial numbers (%s) and the pass "
     "counter (%u) are not stored; the run stops !\r\n",
     "\r\n配置文件 %s 写入失败 (%s): 下一个序列号 (%s) 和计数 (%u) 未能保存, 停止下载 !\r\n",
     nullptr, nullptr},
    {8263,
     "\r\nSerial number %d is %s, more than its %d bytes hold in its format (at most %s): "
     "nothing was erased, the run stops !\r\n",
     "\r\n序列号 %d 为 %s, 超出其 %d 字节按所设格式能容纳的范围 (最大 %s): 未擦除任何数据, "
     "停止下载 !\r\n",
     nullptr, nullptr},
    {8264, "The pass counter was not reset: the profile %s cannot be written (%s) !",
     "计数未能清零: 配置文件 %s 无法写入 (%s) !", nullptr, nullptr},
    {8265,
     "The pass counter was not reset: another download of this project is using the profile %s !",
     "计数未能清零: 本项目的另一个下载正在使用配置文件 %s !", nullptr, nullptr},
    // The USB writer.
    {8250, "\r\nThe USB writer %s is gone (unplugged) !\r\n",
     "\r\nUSB设备 %s 已断开 (设备被拔出) !\r\n", nullptr, nullptr},
    {8251,
     "\r\nThe program (%d bytes) is larger than the 64 KB the USB writer can address; nothing "
     "was erased !\r\n",
     "\r\n程序 (%d 字节) 超出USB设备可寻址的 64K 范围, 未擦除任何数据 !\r\n", nullptr, nullptr},
    {8252,
     "\r\nA data record at 0x%X lies beyond the 64 KB the USB writer can address; nothing was "
     "erased !\r\n",
     "\r\n地址为 0x%X 的数据超出USB设备可寻址的 64K 范围, 未擦除任何数据 !\r\n", nullptr, nullptr},
    {-1, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

std::span<const MessageRow> MessageRows() { return {kRows, std::size(kRows) - 1}; }

const MessageRow* FindMessage(int id) {
  for (const MessageRow* row = kRows; row->id != -1; ++row) {
    if (row->id == id) return row;
  }
  return nullptr;
}

const char* GetText(int id, int language) {
  const MessageRow* row = FindMessage(id);
  if (row == nullptr) return nullptr;
  if (language == kLanguageChinese && row->chinese != nullptr) return row->chinese;
  return row->english;
}

const char* GetTip(int id, int language) {
  const MessageRow* row = FindMessage(id);
  if (row == nullptr) return nullptr;
  if (language == kLanguageChinese && row->chinese_tip != nullptr) return row->chinese_tip;
  return row->english_tip;
}

int LanguageFromProjectString(std::string_view language_string) {
  return language_string == "CH" ? kLanguageChinese : kLanguageEnglish;
}

}  // namespace fw
