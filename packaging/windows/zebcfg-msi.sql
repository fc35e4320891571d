-- What the MSI needs beyond what wixl 0.101 writes: scripts/package.sh runs
-- each statement (one a line) with msibuild on the MSI that wixl made,
-- after putting the package's version for @VERSION@ and its UpgradeCode for
-- @UPGRADE_CODE@.
--
-- Another build of the installed version replaces it, as a newer version
-- does, instead of installing beside it with a second uninstall entry
-- (WiX's AllowSameVersionUpgrades): the upgrade row's maximum is inclusive
-- (1 migrate features + 0x200 maximum inclusive).
DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'
INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('@UPGRADE_CODE@', '@VERSION@', 513, 'WIX_UPGRADE_DETECTED')
--
-- A downgrade stops with an error (type 19) right after the installed newer
-- version was found, before the launch condition of MajorUpgrade would. Its
-- action text is the line the /l*v log shows on every installer; the error
-- text also reaches the log and the screen where the installer shows it.
INSERT INTO `CustomAction` (`Action`, `Type`, `Target`) VALUES ('RefuseDowngrade', 19, 'zebcfg @VERSION@ was not installed: a newer version ([WIX_DOWNGRADE_DETECTED]) is installed. Uninstall it first to go back to this version.')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('RefuseDowngrade', 'WIX_DOWNGRADE_DETECTED', 26)
CREATE TABLE `ActionText` (`Action` CHAR(72) NOT NULL, `Description` CHAR(0) LOCALIZABLE, `Template` CHAR(0) LOCALIZABLE PRIMARY KEY `Action`)
INSERT INTO `ActionText` (`Action`, `Description`) VALUES ('RefuseDowngrade', 'Downgrade refused: a newer version of zebcfg is installed, zebcfg @VERSION@ was not installed')
--
-- The public properties an installation takes (the command line's or a
-- transform's) reach its elevated part only when they are listed here;
-- wixl writes the property with the upgrade's two and ignores Secure="yes".
UPDATE `Property` SET `Value` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;INSTALLDIR;ZEBCFG_CONFIG' WHERE `Property` = 'SecureCustomProperties'
--
-- The configuration document is remembered only when there is one.
UPDATE `Component` SET `Condition` = 'ZEBCFG_CONFIG' WHERE `Component` = 'RememberedConfig'
--
-- The older version of a major upgrade goes inside the installation's
-- transaction, so that Windows Installer restores it when the newer one
-- fails (a configuration document that zebstate refuses, above all); wixl
-- places RemoveExistingProducts where it will, and has no Schedule.
UPDATE `InstallExecuteSequence` SET `Sequence` = 1501 WHERE `Action` = 'RemoveExistingProducts'
